// The script language of the script frontend: one command a line, parsed
// before the program starts so that a malformed script never opens a window.
#pragma once

#include <string>
#include <vector>

namespace orva::script {

struct Command {
    enum class Verb { Tab, Type, Select, Click, Answer, Pick, Show, Ok, Cancel } verb;
    int line = 0;
    int id = 0;                        // control identifier, page number or item index
    int number = 0;                    // select: the item
    std::u16string text;               // type, pick
    bool cancel = false;               // pick cancel
    std::vector<std::string> answers;  // answer: OK, CANCEL, YES, NO, ABORT, RETRY, IGNORE
};

// Parses a whole script. On error returns false with "LINE: message".
bool parse_script(const std::string& source, std::vector<Command>* out, std::string* error);

// A string for the transcript: double quotes, the escapes \\ \" \r \n \t,
// other control characters as \xHH, everything else as UTF-8.
std::string quote(std::u16string_view text);

}  // namespace orva::script
