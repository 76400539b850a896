#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "support/scratch_dir.h"
#include "trackercore/file_reader.h"
#include "trackercore/file_writer.h"

TEST(FileReader, ReadsLittleEndianAndZeroesPastTheEnd) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    std::string path = dir.file("data.bin");
    Scratch_Dir::write(path, std::string("\x34\x12\x78\x56\x34\x12\xAB", 7));
    File_Reader r;
    ASSERT_EQ(r.open(path.c_str()), 0);
    EXPECT_EQ(r.open(path.c_str()), -1);  // already open
    EXPECT_EQ(r.get_file_size(), 7u);
    EXPECT_EQ(r.get_word(), 0x1234);
    EXPECT_EQ(r.get_dword(), 0x12345678u);
    EXPECT_EQ(r.bytes_left(), 1u);
    EXPECT_EQ(r.get_word(), 0x00AB);  // the missing high byte reads as 0
    EXPECT_TRUE(r.eof_reached());
    EXPECT_EQ(r.error_loading(), 0);  // end of file is no error
    unsigned char buf[4] = {1, 2, 3, 4};
    r.seek(5);
    r.get_byte_array(buf, 4);
    EXPECT_EQ(buf[0], 0x12);
    EXPECT_EQ(buf[1], 0xAB);
    EXPECT_EQ(buf[2], 0);
    EXPECT_EQ(buf[3], 0);
    r.close();
    EXPECT_FALSE(r.is_open());
    EXPECT_EQ(r.open(dir.file("missing").c_str()), -1);
    EXPECT_EQ(r.open(dir.path().c_str()), -1);  // a directory is no file
}

TEST(FileWriter, StoresLittleEndianAndPascalStrings) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    std::string path = dir.file("out.bin");
    File_Writer w;
    ASSERT_EQ(w.open(path.c_str()), 0);
    w.store_word(0x1234);
    w.store_dword(0xA1B2C3D4);
    w.store_pascal_string(std::string(300, 'x').c_str());
    w.store_pascal_string("");
    EXPECT_EQ(w.get_file_pos(), 6 + 256 + 1);
    w.set_file_pos(0);
    w.store_byte(0x99);
    ASSERT_EQ(w.close(), 0);
    std::string bytes = Scratch_Dir::read(path);
    ASSERT_EQ(bytes.size(), 263u);
    EXPECT_EQ(bytes.substr(0, 6), std::string("\x99\x12\xD4\xC3\xB2\xA1", 6));
    EXPECT_EQ((unsigned char)bytes[6], 255);
    EXPECT_EQ(bytes.substr(7, 255), std::string(255, 'x'));
    EXPECT_EQ(bytes[262], '\0');
}

TEST(FileWriter, FailedSaveKeepsTheOldFile) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    std::string path = dir.file("song.it");
    Scratch_Dir::write(path, "old contents");
    chmod(path.c_str(), 0640);
    {
        File_Writer w;
        ASSERT_EQ(w.open(path.c_str()), 0);
        w.store_byte_array((const unsigned char*)"new", 3);
        // Nothing reaches the target before the save is complete.
        EXPECT_EQ(Scratch_Dir::read(path), "old contents");
        w.set_file_pos(-5);  // a failing seek is a write error
        EXPECT_EQ(w.error_saving(), 1);
        EXPECT_EQ(w.close(), -1);
    }
    EXPECT_EQ(Scratch_Dir::read(path), "old contents");
    {
        File_Writer w;  // dropped without close: the target stays
        ASSERT_EQ(w.open(path.c_str()), 0);
        w.store_byte(1);
    }
    EXPECT_EQ(Scratch_Dir::read(path), "old contents");
    {
        File_Writer w;
        ASSERT_EQ(w.open(path.c_str()), 0);
        w.store_byte_array((const unsigned char*)"new", 3);
        EXPECT_EQ(w.close(), 0);
    }
    EXPECT_EQ(Scratch_Dir::read(path), "new");
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);  // permissions of the replaced file are kept
    // No temporary files are left behind.
    int entries = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.path())) {
        (void)e;
        entries++;
    }
    EXPECT_EQ(entries, 1);
}

TEST(FileWriter, CannotCreateInMissingDirectory) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    File_Writer w;
    EXPECT_EQ(w.open(dir.file("no/such/dir.it").c_str()), -1);
    EXPECT_FALSE(w.is_open());
    EXPECT_EQ(w.close(), 0);
}

TEST(FileWriter, RefusesToReplaceDevices) {
    File_Writer w;
    EXPECT_EQ(w.open("/dev/full"), -1);
}

TEST(FileWriter, DiskFullDuringSaveFailsAndKeepsTheOldFile) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    std::string path = dir.file("song.it");
    Scratch_Dir::write(path, "old contents");
    // A file-size limit makes the writes fail as a full disk would.
    struct rlimit old_limit;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    struct rlimit small = old_limit;
    small.rlim_cur = 100;
    void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    int result;
    {
        File_Writer w;
        testing::internal::CaptureStdout();
        if (w.open(path.c_str()) == 0) {
            std::string big(10000, 'n');
            w.store_byte_array((const unsigned char*)big.data(), (int)big.size());
            result = w.close();
        } else {
            result = -3;
        }
        std::string out = testing::internal::GetCapturedStdout();
        setrlimit(RLIMIT_FSIZE, &old_limit);
        signal(SIGXFSZ, old_handler);
        EXPECT_NE(out.find("Error writing to file!!!"), std::string::npos);
    }
    EXPECT_EQ(result, -1);
    EXPECT_EQ(Scratch_Dir::read(path), "old contents");
}

TEST(FileWriter, SavingThroughALinkWritesTheFileItPointsTo) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    std::filesystem::create_directory(dir.file("songs"));
    Scratch_Dir::write(dir.file("songs/kept.it"), "old");
    // One link to a file that exists, one (relative) to a file not written yet.
    ASSERT_EQ(symlink(dir.file("songs/kept.it").c_str(), dir.file("kept link.it").c_str()), 0);
    ASSERT_EQ(symlink("songs/new.it", dir.file("new link.it").c_str()), 0);
    for (const char* name : {"kept", "new"}) {
        std::string link = dir.file(std::string(name) + " link.it");
        File_Writer w;
        ASSERT_EQ(w.open(link.c_str()), 0) << name;
        w.store_byte_array((const unsigned char*)"fresh", 5);
        ASSERT_EQ(w.close(), 0) << name;
        EXPECT_TRUE(std::filesystem::is_symlink(link)) << name;
        EXPECT_EQ(Scratch_Dir::read(dir.file(std::string("songs/") + name + ".it")), "fresh") << name;
    }
}
