#include "runtime/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace lumora::files {
namespace {

namespace fs = std::filesystem;

class ScopedUmask {
  public:
    explicit ScopedUmask(mode_t mask) : previous_(::umask(mask)) {}
    ~ScopedUmask() { ::umask(previous_); }

  private:
    mode_t previous_;
};

class AtomicFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = ::testing::TempDir() + "lumora-files-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const std::string& name) const { return dir + "/" + name; }

    std::vector<std::string> entries(const std::string& folder) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    std::vector<std::string> entries() const { return entries(dir); }

    static mode_t modeOf(const std::string& target) {
        struct stat info {};
        EXPECT_EQ(::stat(target.c_str(), &info), 0) << target;
        return info.st_mode & 07777;
    }

    static void writePlain(const std::string& target, const std::string& contents) {
        std::ofstream out(target, std::ios::binary);
        out << contents;
    }

    std::string dir;
};

struct ModeCase {
    mode_t mode;
    mode_t umask;
};

TEST_F(AtomicFileTest, NewFileCarriesExactlyTheRequestedModeWhateverTheUmask) {
    const std::vector<ModeCase> cases = {
        {0600, 022}, {0600, 0}, {0600, 0777}, {0644, 077}, {0640, 027},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.mode) + " under " + std::to_string(c.umask));
        std::string target = path("record.json");
        fs::remove(target);
        {
            ScopedUmask mask(c.umask);
            ASSERT_TRUE(replaceAtomically(target, "{\"a\":1}", c.mode));
        }
        EXPECT_EQ(modeOf(target), c.mode);
        EXPECT_EQ(readAll(target), "{\"a\":1}");
        EXPECT_EQ(entries(), (std::vector<std::string>{"record.json"}));
    }
}

TEST_F(AtomicFileTest, ReplacingAnExistingFileSwapsContentsAndMode) {
    std::string target = path("trace.log");
    writePlain(target, "old contents that are longer than the new ones");
    ::chmod(target.c_str(), 0644);

    ASSERT_TRUE(replaceAtomically(target, "new", 0600));
    EXPECT_EQ(readAll(target), "new");
    EXPECT_EQ(modeOf(target), 0600u);
    EXPECT_EQ(entries(), (std::vector<std::string>{"trace.log"}));
}

TEST_F(AtomicFileTest, KeepsBinaryAndEmptyContentsExactly) {
    std::string binary;
    for (int i = 0; i < (1 << 20); ++i) binary += static_cast<char>(i * 7 % 256);
    ASSERT_TRUE(replaceAtomically(path("binary"), binary, 0600));
    EXPECT_EQ(readAll(path("binary")), binary);

    ASSERT_TRUE(replaceAtomically(path("empty"), "", 0600));
    EXPECT_EQ(fs::file_size(path("empty")), 0u);
    EXPECT_EQ(readAll(path("empty")), "");
    EXPECT_EQ(entries(), (std::vector<std::string>{"binary", "empty"}));
}

TEST_F(AtomicFileTest, MissingDirectoryFailsAndCreatesNothing) {
    EXPECT_FALSE(replaceAtomically(path("missing/file"), "contents", 0600));
    EXPECT_TRUE(entries().empty());
}

TEST_F(AtomicFileTest, DirectoryInTheWayFailsAndLeavesNoTemporaryFile) {
    ASSERT_TRUE(fs::create_directory(path("taken")));
    writePlain(path("taken/inside"), "kept");

    EXPECT_FALSE(replaceAtomically(path("taken"), "contents", 0600));
    EXPECT_TRUE(fs::is_directory(path("taken")));
    EXPECT_EQ(readAll(path("taken/inside")), "kept");
    EXPECT_EQ(entries(), (std::vector<std::string>{"taken"}));
}

TEST_F(AtomicFileTest, ReadAllHasNothingForMissingFilesOrDirectories) {
    EXPECT_EQ(readAll(path("absent")), std::nullopt);
    EXPECT_EQ(readAll(dir), std::nullopt);
}

TEST_F(AtomicFileTest, CreateDirectoriesMakesEveryMissingLevelWithTheMode) {
    std::string nested = path("a/b/c");
    {
        ScopedUmask mask(077);
        ASSERT_TRUE(createDirectories(nested, 0750));
    }
    for (const char* level : {"a", "a/b", "a/b/c"}) {
        SCOPED_TRACE(level);
        EXPECT_TRUE(fs::is_directory(path(level)));
        EXPECT_EQ(modeOf(path(level)), 0750u);
    }
    ASSERT_TRUE(replaceAtomically(nested + "/file", "x", 0600));
    EXPECT_EQ(readAll(nested + "/file"), "x");
}

TEST_F(AtomicFileTest, CreateDirectoriesAcceptsExistingDirectoriesAndLeavesTheirMode) {
    ASSERT_TRUE(fs::create_directory(path("existing")));
    ::chmod(path("existing").c_str(), 0755);

    EXPECT_TRUE(createDirectories(path("existing"), 0700));
    EXPECT_EQ(modeOf(path("existing")), 0755u);
    EXPECT_TRUE(createDirectories(path("existing/new/"), 0700));
    EXPECT_EQ(modeOf(path("existing")), 0755u);
    EXPECT_EQ(modeOf(path("existing/new")), 0700u);
    EXPECT_TRUE(createDirectories(dir, 0700));
}

TEST_F(AtomicFileTest, CreateDirectoriesFailsThroughAFileOrOnAnEmptyPath) {
    writePlain(path("file"), "x");
    EXPECT_FALSE(createDirectories(path("file"), 0700));
    EXPECT_FALSE(createDirectories(path("file/below"), 0700));
    EXPECT_FALSE(createDirectories("", 0700));
    EXPECT_EQ(entries(), (std::vector<std::string>{"file"}));
    EXPECT_EQ(readAll(path("file")), "x");
}

}  // namespace
}  // namespace lumora::files
