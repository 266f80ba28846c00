#pragma once

#include "AFXBaseModelObject.h"

#include <cstdint>
#include <memory>

// Which Mac a record was made on, without naming it: the fixed string hashes
// (platform::Hash::string) of the hardware UUID and the MAC address.
class AFXMachineInfo : public AFXBaseModelObject {
    AFX_DECLARE_MODEL_CLASS(AFXMachineInfo)

public:
    static std::shared_ptr<BRClassReflection> makeReflection();
    // This Mac's.
    static std::shared_ptr<AFXMachineInfo> make();
    // Another Mac's, from its hashes.
    static std::shared_ptr<AFXMachineInfo> makeWithHashes(std::uint64_t hardwareUUIDHash,
                                                          std::uint64_t MACAddressHash);
    // True when the record was made on this Mac.
    static bool isCurrentMachine(const std::shared_ptr<AFXMachineInfo>& machineInfo);

    std::uint64_t hardwareUUIDHash() const { return hardwareUUIDHash_; }
    std::uint64_t MACAddressHash() const { return MACAddressHash_; }

    bool isEqual(const platform::Object& other) const override;
    std::uint64_t hash() const override { return hardwareUUIDHash_ ^ MACAddressHash_; }
    QString description() const override;

private:
    AFXMachineInfo() = default;
    void setHardwareUUIDHash(std::uint64_t hash) { hardwareUUIDHash_ = hash; }
    void setMACAddressHash(std::uint64_t hash) { MACAddressHash_ = hash; }

    std::uint64_t hardwareUUIDHash_ = 0;
    std::uint64_t MACAddressHash_ = 0;
};
