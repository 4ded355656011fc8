#include "protocol/devoper.h"

RPackFamilyState TDevOper::FamilyState(std::uint8_t address) const
{
    QMutexLocker locker(&m_familyLock);
    return m_families[address];
}

void TDevOper::PinFamily(std::uint8_t address, PackFamily family)
{
    QMutexLocker locker(&m_familyLock);
    m_families[address] = RPackFamilyState{family, family != PackFamily::Unknown};
}

void TDevOper::SetFamilyState(std::uint8_t address, const RPackFamilyState& state)
{
    QMutexLocker locker(&m_familyLock);
    m_families[address] = state;
}

void TDevOper::SetFamilySettings(const RFamilySettings& settings)
{
    QMutexLocker locker(&m_familyLock);
    m_familySettings = settings;
}

RFamilySettings TDevOper::FamilySettings() const
{
    QMutexLocker locker(&m_familyLock);
    return m_familySettings;
}

RPackFamilyState TDevOper::DetectFamily(std::uint8_t address, int)
{
    return FamilyState(address);
}

std::uint8_t TDevOper::ExecuteInFamily(PackFamily, std::uint8_t, std::uint8_t, QByteArrayView, int, const Decoder&)
{
    return ResultCode::kForeignFamily;
}

std::uint8_t TDevOper::ReadFamilyIdentity(std::uint8_t, RFamilyIdentity&)
{
    return ResultCode::kForeignFamily;
}
