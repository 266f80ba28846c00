#pragma once

#include <QString>

#include <memory>

class AFXCustomer;
namespace platform {
class UserDefaults;
}

// The signed-in customer, kept in the client's preferences (the domain
// "com.kestrel.DesktopClient") under "SignedInCustomer": its stored form
// ("Customer") and its token ("Token") in one entry, written and read at
// once. Every process of the client shares them, so a sign-in from the
// command line is what the agent answers next. A customer kept by an
// earlier client ("Customer", its token under "CustomerToken") is read
// when there is no such entry, and goes with the next sign-in or sign-out.
class KestrelCustomerKeeper {
public:
    static const QString PreferencesDomain; // "com.kestrel.DesktopClient"

    KestrelCustomerKeeper();

    // None when nobody signed in or what is kept cannot be read.
    std::shared_ptr<AFXCustomer> currentCustomer() const;
    bool keepCustomer(const AFXCustomer& customer);
    bool forgetCustomer();

private:
    // Whether the entries of the earlier form are gone.
    bool forgetEarlierForm();

    const std::shared_ptr<platform::UserDefaults> preferences_;
};
