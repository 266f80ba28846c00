#include "AFXMachineInfo.h"

#include "platform/Hash.h"
#include "platform/ValueClasses.h"
#include "platform/ValueConversion.h"
#include "support/BRSystemInfo.h"

PLATFORM_DEFINE_CLASS_WITH_SETUP(
    AFXMachineInfo, AFXBaseModelObject, [] { return std::shared_ptr<AFXMachineInfo>(new AFXMachineInfo); },
    [](platform::Class& c) {
        platform::addProperty(c, QStringLiteral("hardwareUUIDHash"), &AFXMachineInfo::hardwareUUIDHash,
                              &AFXMachineInfo::setHardwareUUIDHash);
        platform::addProperty(c, QStringLiteral("MACAddressHash"), &AFXMachineInfo::MACAddressHash,
                              &AFXMachineInfo::setMACAddressHash);
    })

std::shared_ptr<BRClassReflection> AFXMachineInfo::makeReflection() {
    auto reflection = BRReflection<AFXBaseModelObject>()->copy();
    reflection->addPropertyForSelector(QStringLiteral("hardwareUUIDHash"), platform::ValueClasses::number());
    reflection->addPropertyForSelector(QStringLiteral("MACAddressHash"), platform::ValueClasses::number());
    return reflection;
}

std::shared_ptr<AFXMachineInfo> AFXMachineInfo::make() {
    return makeWithHashes(platform::Hash::string(BRSystemInfo::hardwareUUID()),
                          platform::Hash::string(BRSystemInfo::MACAddress()));
}

std::shared_ptr<AFXMachineInfo> AFXMachineInfo::makeWithHashes(std::uint64_t hardwareUUIDHash,
                                                               std::uint64_t MACAddressHash) {
    std::shared_ptr<AFXMachineInfo> info(new AFXMachineInfo);
    info->hardwareUUIDHash_ = hardwareUUIDHash;
    info->MACAddressHash_ = MACAddressHash;
    return info;
}

bool AFXMachineInfo::isCurrentMachine(const std::shared_ptr<AFXMachineInfo>& machineInfo) {
    return machineInfo && machineInfo->isEqual(*make());
}

bool AFXMachineInfo::isEqual(const platform::Object& other) const {
    const auto* info = dynamic_cast<const AFXMachineInfo*>(&other);
    return info && info->hardwareUUIDHash_ == hardwareUUIDHash_ && info->MACAddressHash_ == MACAddressHash_;
}

QString AFXMachineInfo::description() const {
    return QStringLiteral("Machine %1/%2")
        .arg(hardwareUUIDHash_, 16, 16, QLatin1Char('0'))
        .arg(MACAddressHash_, 16, 16, QLatin1Char('0'));
}
