#include "exporter/host/HostFiles.h"

#include <unistd.h>

std::string HostFile(const std::string& name) {
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return name;
    buf[n] = '\0';
    const std::string exe(buf);
    const size_t slash = exe.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : exe.substr(0, slash);
    const std::string beside = folder + "/" + name;
    if (::access(beside.c_str(), F_OK) == 0) return beside;
#ifdef TESSEL_HOST_FILES_FROM_PROGRAM
    const std::string installed = folder + "/" TESSEL_HOST_FILES_FROM_PROGRAM "/" + name;
    if (::access(installed.c_str(), F_OK) == 0) return installed;
#endif
    return beside;
}
