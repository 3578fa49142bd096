#include "tests/support/TempDir.h"

#include <unistd.h>

#include <stdexcept>
#include <string>

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "pipeline-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}
