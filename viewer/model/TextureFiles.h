// Finding texture image files: the shared media directory and names
// matched without regard to the case of ASCII letters.
#pragma once

#include <string>

// The environment variable naming the shared media directory, searched for
// texture images after the texture directory.
constexpr const char* kMediaDirVariable = "ZINTARO_MEDIA_DIR";

// The media directory (the variable's value followed by a slash), or an empty
// text when the variable is not set. Read afresh at every call.
std::string MediaDirectory();

// Path of the regular file `name` in `directory` (empty directory: the
// current directory). Backslashes and slashes in the name separate folders.
// Where no file or folder has exactly the name given, one whose name differs
// only in the case of ASCII letters is taken. Empty when none exists.
std::string FindFileNoCase(const std::string& directory, const std::string& name);

// The extension of `name` from its last dot on, lower-cased; empty without a dot.
std::string LowerExtension(const std::string& name);
