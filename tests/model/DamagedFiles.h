// The damaged-file tables of every model-file reader: for each kind a list
// of files with the part of the message their rejection must carry. The
// tests run them from memory; write-damaged-corpus writes them under
// tests/data/damaged/<kind>/, where they also seed the fuzz targets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct DamagedFile {
    std::string name;  // what is wrong, in words
    std::vector<uint8_t> bytes;
    std::string messagePart;  // the rejection's message contains this
};

struct DamagedKind {
    std::string kind;       // directory under tests/data/damaged
    std::string extension;  // of the corpus files
    std::vector<DamagedFile> files;
};

std::vector<DamagedFile> DamagedBipedFiles();
std::vector<DamagedFile> DamagedPartFiles();
std::vector<DamagedFile> DamagedTesselFiles();
std::vector<DamagedFile> DamagedTgaFiles();

// Every kind with its files.
std::vector<DamagedKind> AllDamagedKinds();

// The corpus file name of entry `index` of a table: "07-negative-face-index.mrv".
std::string DamagedFileName(size_t index, const DamagedFile& file, const std::string& extension);

// Runs the kind's reader on `bytes`: true when it accepts them, else false
// with its message in `error`.
bool ReaderAccepts(const std::string& kind, const std::vector<uint8_t>& bytes, std::string& error);
