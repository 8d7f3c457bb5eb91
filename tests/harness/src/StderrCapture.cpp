#include "testhost/StderrCapture.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace testhost {

StderrCapture::StderrCapture() {
    std::fflush(stderr);
    char name[] = "/tmp/testhost-stderr-XXXXXX";
    file = mkstemp(name);
    if (file < 0) throw std::runtime_error("cannot create a file to capture standard error");
    unlink(name);
    saved = dup(2);
    dup2(file, 2);
}

StderrCapture::~StderrCapture() { Stop(); }

std::string StderrCapture::Stop() {
    if (saved >= 0) {
        std::fflush(stderr);
        dup2(saved, 2);
        close(saved);
        saved = -1;
        lseek(file, 0, SEEK_SET);
        char chunk[4096];
        ssize_t got;
        while ((got = read(file, chunk, sizeof chunk)) > 0) text.append(chunk, got);
        close(file);
        file = -1;
    }
    return text;
}

}  // namespace testhost
