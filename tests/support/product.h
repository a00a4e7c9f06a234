// product.h: the stand-in product as tests meet it: started from a directory, found by
// its window, and its record of the close messages it received.
#pragma once

#include "qmtest.h"

#include <string>
#include <vector>

namespace qmtest {

// Copies the build's product images into `directory` (made if missing).
void stageProduct(const std::string& directory);

// Starts `directory`\Quellmark.exe with `arguments` from `directory` and waits until it
// has logged its start: its window exists and its library is loaded by then.
Process startProduct(const std::string& directory, const std::string& arguments = "");

// The product's main window, or nullptr.
HWND productWindow();

struct ProductMessage {
    DWORD tick = 0;   // GetTickCount() when it arrived
    std::string name; // "61239", "KVMsgDestroy" or "KVMsgDestroy2"
};
// The protocol messages the product in `directory` received, in order.
std::vector<ProductMessage> productMessages(const std::string& directory);

} // namespace qmtest
