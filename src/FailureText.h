// How a failure reads for a person: one line for standard error, a few plain words for a
// notice. Decoders and drivers write for developers, over several lines; these helpers turn
// that into something the program can show. Main thread.
#pragma once

#include <exception>
#include <string>

namespace mirvo {

// A file's name or path as a line shows it: in single quotes, with control characters (a
// newline, a tab, an escape) written as \n, \t or \xNN, so that a name can never split the
// line it is in or act on the terminal.
std::string quotedName(const std::string& name);

// Folds a multi-line message into one line without trailing blanks.
std::string oneLine(std::string text);

// Why a file cannot be played, for standard error: the decoder's plain words where it gave a
// reason, otherwise its technical message on one line.
std::string reasonForLog(const std::exception& exc);

// The same for a notice, which has no room for a technical message.
std::string reasonForNotice(const std::exception& exc);

} // namespace mirvo
