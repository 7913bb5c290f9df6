#include "TestEnvironment.h"
#include "TestEnvironment_p.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace testsupport {

namespace {

fs::path g_root;

class IsolationEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (g_root.empty())
            g_root = CreateIsolatedTree();
    }
    void TearDown() override
    {
        if (g_root.empty())
            return;
        RemoveIsolatedTree(g_root);
        g_root.clear();
    }
};

} // namespace

void InstallIsolation()
{
    auto* env = new IsolationEnvironment;
    env->SetUp(); // folders exist before any test code reads the variables
    ::testing::AddGlobalTestEnvironment(env);
    // Listing the tests runs no environment tear-down: clean up at exit too.
    std::atexit([] { IsolationEnvironment().TearDown(); });
}

const fs::path& IsolatedRoot()
{
    return g_root;
}

TempDir::TempDir(const std::string& hint)
{
    static std::atomic<int> counter{0};
    fs::path base = IsolatedRoot().empty() ? fs::temp_directory_path() : IsolatedRoot() / "tmp";
    m_path = base / (hint + "-" + ProcessTag() + "-" + std::to_string(counter++));
    fs::remove_all(m_path);
    fs::create_directories(m_path);
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Give back write permission first so read-only leftovers can go.
    for (auto it = fs::recursive_directory_iterator(m_path, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (!it->is_symlink())
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(m_path, ec);
}

void WriteFile(const fs::path& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
    out << content;
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

CString ToCString(const fs::path& path)
{
    return CString(path.u16string());
}

CString NativePath(const char16_t* posix)
{
    CString path(posix);
#ifdef _WIN32
    if (!path.IsEmpty() && path[0] == u'/')
        path = CString(u"C:") + path;
    path.Replace(u"/", u"\\");
#endif
    return path;
}

} // namespace testsupport
