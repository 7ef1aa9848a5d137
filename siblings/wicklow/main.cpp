// wicklow: answers one thumbnail request of the menu extension and exits.
#include "siblings/wicklow/Wicklow.h"

int main() { return wicklow::Run(); }
