#include "layout.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include "win32/fileio.h"

namespace fs = std::filesystem;

namespace kvbench {

namespace {

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string Number(int value, int width) {
    char text[32];
    std::snprintf(text, sizeof text, "%0*d", width, value);
    return text;
}

// The body every item file gets: a few hundred bytes, like a small script.
std::string ItemContent(const std::string& name) {
    std::string text = "; " + name + "\n";
    while (text.size() < 240)
        text += "; padding line of a small item file\n";
    return text;
}

std::string ListFile(int entries, bool withDisplayName) {
    std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Repositories>\n";
    for (int i = 0; i < entries; ++i) {
        const std::string number = Number(i, 6);
        text += "\t<Repository Key=\"Repo" + number +
                "\" Path=\"##TestingRepositoriesDir##/repo/Repository.xml\" Local=\"" +
                (i % 2 == 0 ? "1" : "0") + "\"";
        if (withDisplayName)
            text += " DisplayName=\"Repository " + number + "\"";
        text += "/>\n";
    }
    text += "</Repositories>\n";
    return text;
}

}  // namespace

const std::vector<ItemType>& ItemTypes() {
    static const std::vector<ItemType> types = {
        {"MergeModules", "Module", "msm", "*.msm", 50},
        {"Templates", "Template", "kvt", "*.kvt", 10},
        {"Dialogs", "Dialog", "kvd", "*.kvd", 10},
        {"KVScripts", "Script", "kvs", "*.kvs;*.txt", 10},
        {"SqlScripts", "Query", "sql", "*.sql", 10},
        {"SystemSearches", "Search", "ini", "*.ini", 10},
    };
    return types;
}

Layout MakeLayout(const fs::path& root, int items) {
    Layout layout;
    layout.items = items;
    layout.root = root;
    const fs::path repo = root / "repo";
    fs::create_directories(repo);

    std::string data = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Repository>\n";
    std::vector<std::string> typeFolders;
    for (const ItemType& type : ItemTypes()) {
        const int count = static_cast<int>(static_cast<long long>(items) * type.percent / 100);
        const std::string name = type.type;
        const bool mergeModules = name == "MergeModules";
        if (mergeModules)
            layout.mergeModules = count;
        typeFolders.push_back(name);
        data += "\t<" + name + ">\n";
        for (int group = 0; group < kGroupsPerType; ++group) {
            // Folder names as a data file written on Windows has them.
            const std::string folder = name + "\\Group" + std::to_string(group);
            const fs::path groupFolder = repo / name / ("Group" + std::to_string(group));
            fs::create_directories(groupFolder);
            if (mergeModules)
                layout.mergeModuleFolders.push_back(groupFolder);
            data += "\t\t<RepoItem Name=\"" + folder + "\" Key=\"" + name + "\" Wildcard=\"" +
                    type.wildcard + "\">\n";
            // The group's share of the type, numbered across the type.
            const int first = count * group / kGroupsPerType;
            const int last = count * (group + 1) / kGroupsPerType;
            for (int i = first; i < last; ++i) {
                const std::string number = Number(i, 6);
                const std::string file = std::string(type.stem) + number + "." + type.extension;
                WriteFile(groupFolder / file, ItemContent(file));
                // Every third file has no stored properties and gets derived ones.
                if (i % 3 == 2)
                    continue;
                if (mergeModules && layout.storedFileName.empty() && i >= count / 2)
                    layout.storedFileName = file;
                data += "\t\t\t<ItemAttrib FileName=\"" + Lower(file) + "\" DisplayName=\"" +
                        type.stem + " " + number + "\" Version=\"1." + std::to_string(i % 10) +
                        "." + std::to_string(i) + "\" " + kStoredAttribute + "=\"The " +
                        Lower(type.stem) + " " + number + " of the benchmark repository\"" +
                        " Vendor=\"Vendor " + std::to_string(i % 17) + "\"/>\n";
            }
            data += "\t\t</RepoItem>\n";
        }
        data += "\t</" + name + ">\n";
    }
    data += "</Repository>\n";
    layout.dataFile = repo / "Repository.xml";
    WriteFile(layout.dataFile, data);

    // The lists name the repository relative to their own folder.
    layout.shortList = root / "ShortList.xml";
    WriteFile(layout.shortList, ListFile(kListedRepositories, true));
    layout.longList = root / "LongList.xml";
    WriteFile(layout.longList, ListFile(items, true));

    for (const char* copy : {"commit-library", "commit-floor"}) {
        const fs::path folder = root / copy;
        for (const std::string& type : typeFolders)
            fs::create_directories(folder / type);
        WriteFile(folder / "Repository.xml", data);
        (std::string(copy) == "commit-library" ? layout.commitDataFile
                                               : layout.floorCommitDataFile) =
            folder / "Repository.xml";
    }
    fs::create_directories(root / "source");
    layout.sourceItem = root / "source" / "NewModule.msm";
    WriteFile(layout.sourceItem, ItemContent("NewModule.msm"));
    return layout;
}

namespace {

struct Layouts {
    fs::path root;
    std::map<int, std::unique_ptr<Layout>> bySize;
};

Layouts& AllLayouts() {
    static Layouts layouts;
    return layouts;
}

}  // namespace

const Layout& LayoutFor(int items) {
    Layouts& layouts = AllLayouts();
    if (layouts.root.empty()) {
        std::random_device random;
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        layouts.root = fs::temp_directory_path() /
                       ("kvrepo-bench-" + std::to_string(random() ^ static_cast<unsigned>(now)));
        fs::create_directories(layouts.root);
    }
    std::unique_ptr<Layout>& layout = layouts.bySize[items];
    if (!layout)
        layout.reset(new Layout(MakeLayout(layouts.root / std::to_string(items), items)));
    return *layout;
}

void RemoveLayouts() {
    Layouts& layouts = AllLayouts();
    if (!layouts.root.empty()) {
        std::error_code ignored;
        fs::remove_all(layouts.root, ignored);
    }
    layouts.bySize.clear();
    layouts.root.clear();
}

}  // namespace kvbench
