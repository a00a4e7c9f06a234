// qm-summary.cpp: prints what an install left inside a Windows (Wine) system: the
// program directory's files, the registry values with type and data length, the
// uninstall entry, the program group's shortcuts and the uninstaller copy.
// usage: qm-summary.exe [installer arguments]   (a /p:<dir> among them names the directory)
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* kProductKey = "Software\\Quellmark";
const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char* kBrowserKey = "Software\\Microsoft\\Internet Explorer\\Main";
const char* kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quellmark";
const char* kShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

struct Value {
    DWORD type = 0;
    std::string data;
};

bool readValue(HKEY root, const char* key, const char* name, Value& value) {
    HKEY handle;
    if (RegOpenKeyExA(root, key, 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    bool found =
        RegQueryValueExA(handle, name, nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS;
    if (found) {
        value.data.resize(size);
        found =
            RegQueryValueExA(handle, name, nullptr, &value.type,
                             reinterpret_cast<BYTE*>(value.data.data()), &size) == ERROR_SUCCESS;
        value.data.resize(size);
    }
    RegCloseKey(handle);
    return found;
}

// A registry string as a path: up to its first NUL, whether stored with one or not.
std::string text(const Value& value) {
    return value.data.substr(0, value.data.find('\0'));
}

const char* typeName(DWORD type) {
    switch (type) {
    case REG_SZ:
        return "REG_SZ";
    case REG_EXPAND_SZ:
        return "REG_EXPAND_SZ";
    case REG_BINARY:
        return "REG_BINARY";
    case REG_DWORD:
        return "REG_DWORD";
    case REG_MULTI_SZ:
        return "REG_MULTI_SZ";
    default:
        return "type?";
    }
}

// The bytes as stored: text with a visible terminator ("\0"), or a number, or hex.
std::string shown(const Value& value) {
    std::string out;
    if (value.type == REG_DWORD && value.data.size() == 4) {
        DWORD number;
        memcpy(&number, value.data.data(), 4);
        return std::to_string(number);
    }
    bool isText = value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ;
    for (unsigned char c : value.data) {
        char hex[8];
        if (isText && c >= 32) {
            out += c == '"' ? "\\\"" : std::string(1, char(c));
        } else {
            snprintf(hex, sizeof hex, c == 0 && isText ? "\\0" : "\\x%02x", c);
            out += hex;
        }
    }
    return "\"" + out + "\"";
}

void printValue(const char* hive, HKEY root, const char* key, const char* name) {
    Value value;
    if (readValue(root, key, name, value))
        printf("  %s\\%s  \"%s\"  %s, %u bytes: %s\n", hive, key, name, typeName(value.type),
               unsigned(value.data.size()), shown(value).c_str());
    else
        printf("  %s\\%s  \"%s\"  (absent)\n", hive, key, name);
}

void printAllValues(const char* hive, HKEY root, const char* key) {
    HKEY handle;
    if (RegOpenKeyExA(root, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        printf("  %s\\%s  (absent)\n", hive, key);
        return;
    }
    printf("  %s\\%s\n", hive, key);
    for (DWORD index = 0;; ++index) {
        char name[16384];
        DWORD length = sizeof name;
        if (RegEnumValueA(handle, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        Value value;
        if (readValue(root, key, name, value))
            printf("    \"%s\"  %s, %u bytes: %s\n", name, typeName(value.type),
                   unsigned(value.data.size()), shown(value).c_str());
    }
    RegCloseKey(handle);
}

struct Entry {
    std::string name;
    unsigned long long size;
    bool directory;
};

std::vector<Entry> listDirectory(const std::string& directory) {
    std::vector<Entry> entries;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((directory + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return entries;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..")
            entries.push_back({name,
                               (unsigned long long)found.nFileSizeHigh << 32 | found.nFileSizeLow,
                               (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return entries;
}

void printFiles(const std::string& directory, const char* indent) {
    std::vector<Entry> entries = listDirectory(directory);
    if (entries.empty() && GetFileAttributesA(directory.c_str()) == INVALID_FILE_ATTRIBUTES)
        printf("%s(directory absent)\n", indent);
    for (const Entry& entry : entries)
        if (entry.directory)
            printf("%s%-40s <dir>\n", indent, entry.name.c_str());
        else
            printf("%s%-40s %llu bytes\n", indent, entry.name.c_str(), entry.size);
}

void printShortcut(const std::string& path) {
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link)))) {
        printf("      (no shell link object)\n");
        return;
    }
    std::wstring wide(path.size() + 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), int(wide.size()));
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Load(wide.c_str(), STGM_READ))) {
        char target[MAX_PATH * 4] = "", arguments[MAX_PATH * 4] = "", icon[MAX_PATH * 4] = "";
        int iconIndex = 0;
        link->GetPath(target, sizeof target, nullptr, SLGP_RAWPATH);
        link->GetArguments(arguments, sizeof arguments);
        link->GetIconLocation(icon, sizeof icon, &iconIndex);
        printf("      target \"%s\", arguments \"%s\", icon \"%s\" index %d\n", target, arguments,
               icon, iconIndex);
    } else {
        printf("      (cannot be loaded)\n");
    }
    if (file)
        file->Release();
    link->Release();
}

void printGroup(const char* hive, HKEY root, const char* folderName) {
    Value folder;
    if (!readValue(root, kShellFolders, folderName, folder)) {
        printf("  %s \"%s\": (no shell folder value)\n", hive, folderName);
        return;
    }
    std::string group = text(folder) + "\\Quellmark";
    printf("  %s \"%s\": %s\n", hive, folderName, group.c_str());
    printFiles(group, "    ");
    for (const Entry& entry : listDirectory(group)) {
        size_t dot = entry.name.rfind('.');
        if (!entry.directory && dot != std::string::npos &&
            lstrcmpiA(entry.name.c_str() + dot, ".lnk") == 0) {
            printf("    %s:\n", entry.name.c_str());
            printShortcut(group + "\\" + entry.name);
        }
    }
}

// The installer's /p: argument in its own syntax: blanks after the colon skipped; a
// quoted text up to its quote, else up to a blank run that a switch ("/x " or "/x:")
// follows.
std::string switchDirectory(const std::string& line) {
    size_t at = 0;
    while ((at = line.find('/', at)) != std::string::npos && at + 2 < line.size() &&
           !((line[at + 1] == 'p' || line[at + 1] == 'P') && line[at + 2] == ':'))
        ++at;
    if (at == std::string::npos || at + 2 >= line.size())
        return "";
    at = line.find_first_not_of(' ', at + 3);
    if (at == std::string::npos)
        return "";
    if (line[at] == '"' || line[at] == '\'') {
        size_t end = line.find(line[at], at + 1);
        return line.substr(at + 1, end == std::string::npos ? end : end - at - 1);
    }
    size_t end = at;
    for (; end < line.size(); ++end) {
        size_t next = line.find_first_not_of(' ', end);
        if (line[end] == ' ' && next != std::string::npos && line[next] == '/' &&
            next + 1 < line.size() && isalpha((unsigned char)line[next + 1]) &&
            (next + 2 == line.size() || line[next + 2] == ' ' || line[next + 2] == ':'))
            break;
    }
    return line.substr(at, end - at);
}

// Where the product went: the machine's records as the installer trusts them, then the
// user's AppPath, else the /p: given.
std::string programDirectory(int argc, char** argv) {
    Value recorded;
    if ((readValue(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation", recorded) &&
         !text(recorded).empty()) ||
        (readValue(HKEY_LOCAL_MACHINE, kProductKey, "AppPath", recorded) &&
         !text(recorded).empty()) ||
        (readValue(HKEY_CURRENT_USER, kProductKey, "AppPath", recorded) && !text(recorded).empty()))
        return text(recorded);
    std::string line;
    for (int i = 1; i < argc; ++i)
        line += std::string(i > 1 ? " " : "") + argv[i];
    std::string directory = switchDirectory(line);
    return directory.empty() ? "C:\\Program Files\\Quellmark" : directory;
}

} // namespace

int main(int argc, char** argv) {
    std::string directory = programDirectory(argc, argv);
    printf("Program directory: %s\n", directory.c_str());
    printFiles(directory, "  ");
    if (FILE* log = fopen((directory + "\\Quellmark.log").c_str(), "rb")) {
        char line[4096];
        while (fgets(line, sizeof line, log))
            printf("  started: %.*s\n", int(strcspn(line, "\r\n")), line);
        fclose(log);
    }

    printf("Registry:\n");
    for (const char* name : {"CCode", "DCC", "AppPath"})
        printValue("HKCU", HKEY_CURRENT_USER, kProductKey, name);
    printValue("HKLM", HKEY_LOCAL_MACHINE, kProductKey, "AppPath");
    printValue("HKLM", HKEY_LOCAL_MACHINE, kRunKey, "Quellmark");
    printValue("HKCU", HKEY_CURRENT_USER, kRunKey, "Quellmark");
    printValue("HKCU", HKEY_CURRENT_USER, kBrowserKey, "Disable Script Debugger");
    printValue("HKCU", HKEY_CURRENT_USER, kBrowserKey, "Error Dlg Displayed On Every Error");

    printf("Uninstall entry:\n");
    printAllValues("HKLM", HKEY_LOCAL_MACHINE, kUninstallKey);

    printf("Program group:\n");
    CoInitialize(nullptr);
    printGroup("HKLM", HKEY_LOCAL_MACHINE, "Common Programs");
    printGroup("HKCU", HKEY_CURRENT_USER, "Programs");
    CoUninitialize();

    char system[MAX_PATH];
    UINT length = GetSystemDirectoryA(system, sizeof system);
    if (length == 0 || length >= sizeof system) {
        printf("System directory: unknown\n");
        return 1;
    }
    std::string copy = std::string(system) + "\\QM-Install.exe";
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExA(copy.c_str(), GetFileExInfoStandard, &data))
        printf("Uninstaller: %s, %lu bytes\n", copy.c_str(), data.nFileSizeLow);
    else
        printf("Uninstaller: %s absent\n", copy.c_str());
    return 0;
}
