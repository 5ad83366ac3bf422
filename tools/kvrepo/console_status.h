// The tool's IRepoStatus: the library's messages go to standard error, and its
// questions before overwriting go to the person at the terminal, or are
// answered by the command line.
#pragma once

#include "kvrepo.h"

namespace kvtool {

class ConsoleStatus final : public IRepoStatus {
public:
    // How overwrite questions are answered.
    enum class Overwrite {
        kAsk,  // ask on the terminal
        kYes,
        kNo,
    };

    // Asks when standard input is a terminal, otherwise answers no.
    ConsoleStatus();

    // The answer the command line chose (--yes, --no-overwrite).
    void SetOverwrite(Overwrite answer) {
        m_overwrite = answer;
        m_chosen = true;
    }
    // Whether a question was answered no only because nobody was there to
    // ask: no terminal, and the command line chose no answer.
    bool DeclinedUnasked() const { return m_declinedUnasked; }

    long OnError(const _stringx& text) override;
    long OnStatus(const _stringx& text) override;
    bool OnOverwriteFile(const _stringx& path) override;
    bool OnOverwriteFolder(const _stringx& path) override;

private:
    bool Answer(const char* what, const _stringx& path);

    Overwrite m_overwrite;
    bool m_chosen = false;
    bool m_declinedUnasked = false;
};

}  // namespace kvtool
