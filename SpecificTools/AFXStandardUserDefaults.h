#pragma once

#include "platform/UserDefaults.h"

#include <memory>

// The defaults the framework shares between the desktop client and every
// other program of the store: the desktop client's own domain
// ("com.kestrel.DesktopClient"), its standard defaults inside the client.
std::shared_ptr<platform::UserDefaults> afx_standardUserDefaults();
