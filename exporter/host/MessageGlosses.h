// English glosses of the plug-in's Korean texts (message boxes, their
// captions, the progress bar's title), for the terminal, where they follow
// the texts themselves. One table holds every text the plug-in can show;
// texts that carry a name or a number are matched on their fixed parts.
#pragma once

#include <optional>
#include <string>

// The gloss of `text`, or an empty string when the table does not know it.
std::string EnglishGloss(const std::string& text);

// An object the plug-in wrote without geometry, as its message names it.
struct EmptyObjectMessage {
    std::string name;
    std::string reason;  // in English where the table knows the reason
};

// The object and reason of a message saying an object is written empty;
// nothing for every other text.
std::optional<EmptyObjectMessage> EmptyObjectIn(const std::string& text);
