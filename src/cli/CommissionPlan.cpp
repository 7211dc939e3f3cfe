// What both bench loops (Commission.cpp, CommissionParallel.cpp) give a
// unit before its session starts: its number as the operator reads it,
// its IP address within the configuration, and the end of the addresses.

#include "cli/Commission.h"

namespace vantrel::cli {

QString AddressText(std::uint32_t address)
{
    return QString::fromStdString(DottedText(address));
}

QString UnitOf(int number, long long place, const std::optional<long long>& count)
{
    if (!count)
        return QStringLiteral("unit %1").arg(number);
    if (place == number)
        return QStringLiteral("unit %1 of %2").arg(number).arg(*count);
    return QStringLiteral("unit %1, %2 of %3").arg(number).arg(place).arg(*count);
}

UnitPlan PlanUnit(const Bench& bench, int number, std::uint32_t ip, std::optional<HidInterfaceInfo> unit)
{
    UnitPlan plan;
    plan.Number = number;
    plan.Ip = ip;
    plan.Record = bench.Config;
    StoreAddressNumber(ip, plan.Record.IPAddr);
    plan.Unit = std::move(unit);
    return plan;
}

CliFailure NoIpAddressLeft(const Bench& bench)
{
    return CliFailure(CliExit::Failure, QStringLiteral("No IP address left: %1 was the last host address of the subnet %2")
                                            .arg(AddressText(bench.Hosts.Last), bench.Subnet));
}

} // namespace vantrel::cli
