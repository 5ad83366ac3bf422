// Where an installation keeps the support folder (the template data file
// "RepositoryTpl.xml"), relative to the folder of the component modules. On
// Windows the modules sit in bin/ beside the programs, with "support" beside
// them; elsewhere they sit in the library folder (lib/ or lib/<multiarch>/)
// and the folder is <prefix>/share/kvrepo. The build tree is laid out the
// same way.
#pragma once

#include "foundation/platform/types.h"

namespace kv {
namespace platform {

struct SupportFolderLayout {
    // The folder's path below the folder that holds it.
    const OLECHAR* relative;
    // The ancestors of the modules' folder that may hold it, the nearest
    // first: from `firstLevel` (0 is the modules' folder itself), `levels` of them.
    int firstLevel;
    int levels;
};

#if defined(_WIN32)
constexpr SupportFolderLayout kSupportFolderLayout{OLESTR("support"), 0, 1};
#else
constexpr SupportFolderLayout kSupportFolderLayout{OLESTR("share/kvrepo"), 1, 3};
#endif

}  // namespace platform
}  // namespace kv
