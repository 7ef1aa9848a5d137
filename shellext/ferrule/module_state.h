// The identifiers of the server and the counts that decide whether it may be unloaded.
#pragma once

#include "platform/com/com.h"

extern const CLSID CLSID_FerruleATL;  // {A118FEA0-1D1B-4165-BC37-88F95B250E7A}
extern const GUID LIBID_FERRULELib;   // {ACFA83F0-DC7E-4CC7-A753-D66FC52AAD49}
extern const IID IID_IFerruleATL;     // {42C5DD17-9671-41B3-8FEB-7ABBB300C231}

namespace ferrule {

// Live objects (extension objects and class factories) and server locks.
void ObjectCreated();
void ObjectDestroyed();
void Lock(bool lock);
bool CanUnload();

}  // namespace ferrule
