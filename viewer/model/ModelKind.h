// The three model file kinds by name and by content, so that a file given as
// the wrong kind is named as what it is instead of failing on numbers read
// from the wrong fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum class ModelKind { Biped, Part, Tessel, Unknown };

// By the file name's extension (.bpd, .mrv, .tsl, any case).
ModelKind ModelKindOfName(const std::string& path);

// "skeleton animation (.bpd)", "character part (.mrv)", "Tessel model (.tsl)".
const char* ModelKindText(ModelKind kind);

// The kind the bytes read as without a fault, Unknown when none or when
// more than one reads.
ModelKind ModelKindOfContent(const uint8_t* data, size_t size);

// For a file refused as `expected`: "PATH is a character part (.mrv), not a
// Tessel model (.tsl)" when its content reads as another kind, or else its
// name says another kind or a scene format; empty when nothing points
// elsewhere (the file is then a damaged file of the expected kind).
std::string WrongKindNote(const uint8_t* data, size_t size, const std::string& path,
                          ModelKind expected);
