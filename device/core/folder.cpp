// The open device's folder, fs/ descriptor and store connection: the one place that
// holds them, so that every family sees the same device.
#include "device/core/folder.h"

#include <sqlite3.h>

#include <unistd.h>

namespace device {
namespace {

std::string openDir;
int fsDescriptor = -1;
sqlite3* storeConnection = nullptr;

}  // namespace

bool isOpen() { return storeConnection != nullptr; }

const std::string& dir() { return openDir; }

int fsRoot() { return fsDescriptor; }

sqlite3* store() { return storeConnection; }

void folderAttach(const std::string& folder, int descriptor, sqlite3* connection) {
    openDir = folder;
    fsDescriptor = descriptor;
    storeConnection = connection;
}

sqlite3* folderReplaceStore(sqlite3* connection) {
    sqlite3* replaced = storeConnection;
    storeConnection = connection;
    return replaced;
}

void folderDetach() {
    if (storeConnection) sqlite3_close_v2(storeConnection);
    storeConnection = nullptr;
    if (fsDescriptor >= 0) ::close(fsDescriptor);
    fsDescriptor = -1;
    openDir.clear();
}

}  // namespace device
