// Keeps the Windows folder's wininit.ini as it was around each test, and gives a target to name.
#ifndef UNINST_TESTS_LIST_FIXTURE_H
#define UNINST_TESTS_LIST_FIXTURE_H

#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

inline std::string WindowsFolder()
{
    char folder[MAX_PATH];
    UINT length = GetWindowsDirectoryA(folder, MAX_PATH);
    return std::string(folder, length < MAX_PATH ? length : 0);
}

inline bool ReadBytes(const std::string& path, std::string* bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bytes->assign(GetFileSize(file, NULL), '\0');
    DWORD read = 0;
    bool whole = ReadFile(file, &(*bytes)[0], (DWORD)bytes->size(), &read, NULL) && read == bytes->size();
    CloseHandle(file);
    return whole;
}

inline bool WriteBytes(const std::string& path, const std::string& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool whole = WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL) &&
                 written == bytes.size();
    CloseHandle(file);
    return whole;
}

// The temporary files the rename list may leave in the Windows folder.
inline std::set<std::string> TempFiles()
{
    std::set<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((WindowsFolder() + "\\wii*.tmp").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do
            names.insert(WindowsFolder() + "\\" + entry.cFileName);
        while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    return names;
}

inline std::string ShortPath(const std::string& path)
{
    char buffer[MAX_PATH];
    DWORD length = GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
    return length != 0 && length < MAX_PATH ? std::string(buffer, length) : std::string();
}

// Each test starts without a wininit.ini and with "<temp>\Long Product Name\uninst.exe"; the
// old list, or its absence, comes back afterwards, and no temporary file may stay behind.
class RenameListFixture : public ::testing::Test {
protected:
    std::string list = WindowsFolder() + "\\wininit.ini";
    std::string folder;
    std::string executable;
    std::set<std::string> tempsBefore;
    size_t tempsAllowed = 0;   // a test that expects some left over says how many

    void SetUp() override
    {
        ASSERT_FALSE(WindowsFolder().empty());
        hadList = ReadBytes(list, &savedList);
        DeleteFileA(list.c_str());
        char temp[MAX_PATH];
        DWORD length = GetTempPathA(MAX_PATH, temp);
        ASSERT_TRUE(length != 0 && length < MAX_PATH);
        folder = std::string(temp, length) + "Long Product Name";
        executable = folder + "\\uninst.exe";
        CreateDirectoryA(folder.c_str(), NULL);
        ASSERT_TRUE(WriteBytes(executable, "MZ"));
        tempsBefore = TempFiles();
    }

    void TearDown() override
    {
        std::set<std::string> temps = TempFiles();
        size_t added = 0;
        for (const std::string& name : temps) {
            if (!tempsBefore.count(name)) {
                added++;
                DeleteFileA(name.c_str());
            }
        }
        EXPECT_EQ(added, tempsAllowed) << "temporary files left in the Windows folder";
        DeleteFileA(executable.c_str());
        RemoveDirectoryA(folder.c_str());
        if (hadList)
            EXPECT_TRUE(WriteBytes(list, savedList));
        else
            DeleteFileA(list.c_str());
    }

    // The list's content, or "<missing>".
    std::string ListContent()
    {
        std::string bytes;
        return ReadBytes(list, &bytes) ? bytes : std::string("<missing>");
    }

private:
    bool hadList = false;
    std::string savedList;
};

#endif
