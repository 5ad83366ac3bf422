// kvrepo-docgen: writes the tool's manual page and bash completion from the
// command line that the tool itself parses with, so that both list every
// command it has. The build runs it; nothing of it is installed.
//   kvrepo-docgen [--man FILE] [--bash-completion FILE]
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "app.h"
#include "bash_completion.h"
#include "command_doc.h"
#include "man_page.h"

namespace {

using namespace kvtool;

// Writes `text` to `file`, making its folder; false after saying why.
bool WriteFile(const std::string& file, const std::string& text) {
    const std::filesystem::path path(file);
    std::error_code error;
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path(), error);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out)
        std::cerr << "kvrepo-docgen: cannot write " << file << '\n';
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    std::string manFile;
    std::string completionFile;
    CLI::App docgen("Writes the kvrepo manual page and bash completion.", "kvrepo-docgen");
    docgen.add_option("--man", manFile, "The manual page to write");
    docgen.add_option("--bash-completion", completionFile, "The bash completion to write");
    CLI11_PARSE(docgen, argc, argv);

    // The tool's own application. Nothing is parsed or run: building it reads
    // and writes no file.
    Session session;
    Action action;
    CLI::App app;
    BuildApp(app, session, action);
    const CommandDoc program = DescribeCommand(app);

    bool written = true;
    if (!manFile.empty()) {
        std::ostringstream page;
        WriteManPage(page, program, Version());
        written = WriteFile(manFile, page.str()) && written;
    }
    if (!completionFile.empty()) {
        std::ostringstream script;
        WriteBashCompletion(script, program);
        written = WriteFile(completionFile, script.str()) && written;
    }
    return written ? 0 : 1;
}
