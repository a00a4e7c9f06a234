// product.cpp: starting and watching the stand-in product.
#include "product.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace qmtest {

void stageProduct(const std::string& directory) {
    makeDirectories(directory);
    for (const char* image : {kLibraryImage, kLauncherImage}) {
        std::string name = std::string(image).substr(std::string(image).rfind('\\') + 1);
        if (!CopyFileA(image, joinPath(directory, name).c_str(), FALSE))
            ADD_FAILURE() << "cannot copy " << image << ": error " << GetLastError();
    }
}

Process startProduct(const std::string& directory, const std::string& arguments) {
    size_t before = productStarts(directory).size();
    std::string line = "\"" + joinPath(directory, "Quellmark.exe") + "\"";
    if (!arguments.empty())
        line += " " + arguments;
    Process product = start(line, directory);
    if (!waitFor([&] { return productStarts(directory).size() > before; }))
        ADD_FAILURE() << "the product in " << directory << " did not log its start";
    return product;
}

HWND productWindow() {
    return FindWindowA("QuellmarkMain", nullptr);
}

std::vector<ProductMessage> productMessages(const std::string& directory) {
    std::vector<ProductMessage> messages;
    std::string log = readFile(joinPath(directory, "Quellmark.messages.log")).value_or("");
    size_t start = 0;
    for (size_t end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2) {
        std::string line = log.substr(start, end - start);
        size_t blank = line.find(' ');
        if (blank == std::string::npos)
            continue;
        messages.push_back(
            {DWORD(std::strtoul(line.c_str(), nullptr, 10)), line.substr(blank + 1)});
    }
    return messages;
}

} // namespace qmtest
