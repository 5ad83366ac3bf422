// The smallest use of the library's reporting: a caller's status interface
// receives message 2 for a path built with the library's path join.
//
//   kvrepo_hello [FOLDER [FILE]]
#include <cstdio>

#include "kvrepo.h"

namespace {

// Prints every message it is given.
class ConsoleStatus : public IRepoStatus {
public:
    long OnError(const _stringx& text) override {
        std::printf("%s\n", text.narrow());
        return 0;
    }
    long OnStatus(const _stringx& text) override { return OnError(text); }
};

// A reporter the way library objects are: it holds the caller's interface.
class Reporter : public CRepoStatusBase {
public:
    using CRepoStatusBase::CRepoStatusBase;
};

}  // namespace

int main(int argc, char** argv) {
    const _stringx folder(argc > 1 ? argv[1] : "C:\\Repositories\\Shared");
    const _stringx file(argc > 2 ? argv[2] : "RepositoryList.xml");
    const kv::pathx path = kv::pathx(folder) / file;

    ConsoleStatus console;
    Reporter reporter(&console);
    reporter.LogError1(-103, IDS_XML_OPEN_FAILED, path);
    return 0;
}
