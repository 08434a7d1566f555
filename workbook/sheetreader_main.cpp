// chronolauf-sheetreader: reads one .xls or zipped workbook for the program, in a process of
// its own, and writes the result to stdout (WorkbookReader::encode). A library that crashes,
// aborts or runs away on a broken file ends this process only; the program reports the file
// as broken. Not meant to be started by hand.
#include "workbook/WorkbookReader.h"

#include <QFile>

#include <cstdio>

#include <sys/resource.h>
#include <unistd.h>

// AddressSanitizer reserves terabytes of address space up front: a sanitizer build keeps only
// the time limit.
#if defined(__SANITIZE_ADDRESS__)
#define CHRONOLAUF_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CHRONOLAUF_ADDRESS_SANITIZER 1
#endif
#endif

namespace {

// Far beyond what any list or results sheet needs; a read that wants more is running away.
constexpr rlim_t MaxAddressSpace = rlim_t(1) << 30;
// Seconds of processor time; the program stops waiting after the same time on the clock.
constexpr rlim_t MaxCpuSeconds = 30;

void limitResources()
{
#ifndef CHRONOLAUF_ADDRESS_SANITIZER
    const rlimit memory{MaxAddressSpace, MaxAddressSpace};
    setrlimit(RLIMIT_AS, &memory);
#endif
    // The soft limit sends SIGXCPU, the hard one a second later SIGKILL.
    const rlimit cpu{MaxCpuSeconds, MaxCpuSeconds + 1};
    setrlimit(RLIMIT_CPU, &cpu);
}

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

}

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fputs("usage: chronolauf-sheetreader <file>\n", stderr);
        return 2;
    }
    limitResources();
    // The result goes out on a descriptor of its own; whatever a library prints to stdout goes
    // to stderr instead of into the result.
    const int result = ::dup(STDOUT_FILENO);
    if (result < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        return 3;
    const QByteArray bytes = WorkbookReader::encode(WorkbookReader::readInProcess(QFile::decodeName(argv[1])));
    return writeAll(result, bytes) && ::close(result) == 0 ? 0 : 3;
}
