// The "Warning" asked before an export overwrites an existing file.
#pragma once

#include <functional>
#include <string>

class QWidget;

namespace tessaly {

constexpr const char* kOverwriteTitle = "Warning";
constexpr const char* kOverwriteFormat = "File %s already exist.\n Do you want to rewrite it?";
constexpr const char* kOverwriteText = "Owerwrite";
constexpr const char* kOverwriteAllText = "Owerwrite All";
constexpr const char* kSkipText = "Skip";
constexpr const char* kSkipAllText = "Skip All";

enum class OverwriteAnswer { Overwrite, OverwriteAll, Skip, SkipAll };

// The question's text for `path`.
std::string OverwriteQuestion(const std::string& path);

// Asks whether `path` may be overwritten. Without a screen the question is one
// line on standard error ("Warning: ..." with line breaks shown as \n) and the
// answer is Overwrite, as a click on the first button would be.
OverwriteAnswer AskOverwrite(QWidget* parent, const std::string& path);

// Answers every question instead of the dialog, given the question's text. An
// empty function restores the normal behaviour. For tests.
using OverwriteObserver = std::function<OverwriteAnswer(const std::string& text)>;
void SetOverwriteObserver(OverwriteObserver observer);

}  // namespace tessaly
