// Replacing files whole or not at all, and the folder of a path.
#include "base/Path.h"
#include "base/ReplaceFile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class ReplaceFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/base-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        target = dir + "/file.txt";
    }
    void TearDown() override
    {
        ::chmod(dir.c_str(), 0700);
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::string read(const std::string& path) const
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void write(const std::string& path, const std::string& text) const
    {
        std::ofstream(path, std::ios::binary) << text;
    }
    // Every entry of the folder but the target itself.
    std::vector<std::string> others() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir))
            if (e.path().string() != target)
                names.push_back(e.path().filename().string());
        return names;
    }
    std::string dir, target;
};

TEST_F(ReplaceFileTest, WritesANewFileAndReplacesAnOldOneWhole)
{
    std::string error;
    ASSERT_TRUE(base::replaceFile(target, std::string("first\n"), &error)) << error;
    EXPECT_EQ(read(target), "first\n");
    ASSERT_TRUE(base::replaceFile(target, std::string("2"), &error)) << error;
    EXPECT_EQ(read(target), "2");  // not "2irst\n": replaced, not overwritten
    const std::string binary("\xff\xd8\0\x01", 4);
    ASSERT_TRUE(base::replaceFile(target, binary.data(), binary.size(), &error)) << error;
    EXPECT_EQ(read(target), binary);
    EXPECT_TRUE(others().empty());
}

TEST_F(ReplaceFileTest, AReplacedFileKeepsItsPermissions)
{
    write(target, "old");
    ::chmod(target.c_str(), 0640);
    std::string error;
    ASSERT_TRUE(base::replaceFile(target, std::string("new contents"), &error)) << error;
    EXPECT_EQ(read(target), "new contents");
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_TRUE(others().empty());
}

TEST_F(ReplaceFileTest, AWriterThatFailsLeavesTheOldFileAndNoTemporary)
{
    write(target, "precious");
    std::string error;
    // Part of the content written, then a failure (as a full disk gives).
    const bool ok = base::replaceFile(
        target,
        [](int fd, std::string* why) {
            base::writeAll(fd, "half", 4);
            *why = "the encoder gave up";
            return false;
        },
        &error);
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, "the encoder gave up");
    EXPECT_EQ(read(target), "precious");
    EXPECT_TRUE(others().empty());

    // A system error without a reason is reported with its text.
    EXPECT_FALSE(base::replaceFile(
        target,
        [](int, std::string*) {
            errno = ENOSPC;
            return false;
        },
        &error));
    EXPECT_NE(error.find(std::strerror(ENOSPC)), std::string::npos) << error;
    EXPECT_EQ(read(target), "precious");
    EXPECT_TRUE(others().empty());
}

TEST_F(ReplaceFileTest, AReadOnlyFolderKeepsTheOldFile)
{
    write(target, "precious");
    ASSERT_EQ(::chmod(dir.c_str(), 0555), 0);
    std::string error;
    if (::access(dir.c_str(), W_OK) != 0) {
        EXPECT_FALSE(base::replaceFile(target, std::string("new"), &error));
        EXPECT_NE(error.find("cannot create a temporary file in " + dir), std::string::npos) << error;
    } else {
        // The super-user writes anywhere: try as an ordinary user instead, in
        // a child process that gives up its rights.
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(3);
            ::_exit(base::replaceFile(target, std::string("new"), nullptr) ? 1 : 0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "1: written anyway, 3: could not change user";
    }
    EXPECT_EQ(read(target), "precious");
    EXPECT_TRUE(others().empty());
}

TEST_F(ReplaceFileTest, RefusesFoldersAndMissingFolders)
{
    std::string error;
    EXPECT_FALSE(base::replaceFile(dir, std::string("x"), &error));
    EXPECT_EQ(error, "is a folder");
    EXPECT_TRUE(fs::is_directory(dir));
    EXPECT_FALSE(base::replaceFile(dir + "/sub/", std::string("x"), &error));
    EXPECT_FALSE(base::replaceFile(dir + "/missing/file", std::string("x"), &error));
    EXPECT_NE(error.find(dir + "/missing"), std::string::npos) << error;
    EXPECT_FALSE(base::replaceFile("", std::string("x"), &error));
    EXPECT_TRUE(others().empty());
}

TEST(Path, FolderOf)
{
    EXPECT_EQ(base::folderOf("a/b.jpg"), "a");
    EXPECT_EQ(base::folderOf("/a/b/c"), "/a/b");
    EXPECT_EQ(base::folderOf("/x"), "/");
    EXPECT_EQ(base::folderOf("x"), ".");
    EXPECT_EQ(base::folderOf(""), ".");
    EXPECT_EQ(base::folderOf("a/"), "a");
    EXPECT_TRUE(base::isFolder("/"));
    EXPECT_FALSE(base::isFolder("/no/such/folder/here"));
}

} // namespace
