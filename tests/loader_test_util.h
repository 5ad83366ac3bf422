// Helpers of the component loader and application-services tests: temporary
// folder trees to copy modules into, and scoped environment variables.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace kvtest {

// A temporary folder, removed with everything in it at the end of the test.
class TempTree {
public:
    TempTree() {
        std::random_device random;
        m_root = std::filesystem::temp_directory_path() /
                 ("kvloader-" + std::to_string(random()) + "-" + std::to_string(random()));
        std::filesystem::create_directories(m_root);
        m_root = std::filesystem::canonical(m_root);
    }
    ~TempTree() {
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::filesystem::path& root() const { return m_root; }
    std::filesystem::path operator/(const std::filesystem::path& relative) const {
        return m_root / relative;
    }

    // Copies `file` to `relative`, creating the folders on the way.
    std::filesystem::path Place(const std::filesystem::path& relative, const char* file) const {
        const std::filesystem::path target = m_root / relative;
        std::filesystem::create_directories(target.parent_path());
        std::filesystem::copy_file(file, target, std::filesystem::copy_options::overwrite_existing);
        return target;
    }

private:
    std::filesystem::path m_root;
};

// Sets (or with null, unsets) an environment variable until the end of the scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
            m_hadOld = true;
        }
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (m_hadOld)
            setenv(m_name.c_str(), m_old.c_str(), 1);
        else
            unsetenv(m_name.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::string m_old;
    bool m_hadOld = false;
};

inline bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code ignored;
    return std::filesystem::equivalent(a, b, ignored);
}

}  // namespace kvtest
