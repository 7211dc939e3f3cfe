// How a bench went, counted the same way by both loops (Commission.cpp,
// CommissionParallel.cpp), and the lines a run ends with: the summary and
// what an interruption left.

#include "cli/Commission.h"

#include <utility>

namespace vantrel::cli {

void Tally::Count(const UnitOutcome& outcome)
{
    (outcome.Commissioned ? Commissioned : Failed) += 1;
    if (outcome.MacUnconfirmed)
        Unconfirmed << MacText(*outcome.MacUnconfirmed);
}

void HandBackUnsentMac(UnitOutcome& outcome, MacSupply* macs)
{
    if (!outcome.MacUnsent || !macs)
        return;
    const MacOctets mac = *std::exchange(outcome.MacUnsent, std::nullopt);
    outcome.Details << QStringLiteral("The MAC address %1 was not sent; %2.")
                           .arg(MacText(mac), macs->GiveBack(mac)
                                                  ? QStringLiteral("the MAC allocation file names it again")
                                                  : QStringLiteral("it goes to the next unit of this bench"));
}

QString Tally::Summary() const
{
    QString text = QStringLiteral("%1 commissioned, %2 failed").arg(Commissioned).arg(Failed);
    if (!Unconfirmed.isEmpty())
        text += QStringLiteral(", %1 unconfirmed MAC address%2 (%3)")
                    .arg(Unconfirmed.size())
                    .arg(Unconfirmed.size() == 1 ? QString() : QStringLiteral("es"))
                    .arg(Unconfirmed.join(QStringLiteral(", ")));
    if (!Gaps.isEmpty())
        text += QStringLiteral(", %1 MAC address%2 reserved and never sent, a gap (%3)")
                    .arg(Gaps.size())
                    .arg(Gaps.size() == 1 ? QString() : QStringLiteral("es"))
                    .arg(Gaps.join(QStringLiteral(", ")));
    return text;
}

QString Tally::Close(MacSupply* macs, const std::optional<std::uint32_t>& next)
{
    if (macs)
        for (const MacOctets& gap : macs->Finish())
            Gaps << MacText(gap);
    QString text = Summary();
    if (next)
        text += QStringLiteral("; the next IP address is ") + AddressText(*next);
    return text;
}

QString Tally::Done(MacSupply* macs, const std::optional<std::uint32_t>& next)
{
    return QStringLiteral("Done: ") + Close(macs, next);
}

QString NextIpSentence(const std::optional<std::uint32_t>& next)
{
    return next ? QStringLiteral(" The next IP address is %1.").arg(AddressText(*next)) : QString();
}

QString InterruptedUnit(int number, const std::string& serialNumber, const QString& path)
{
    if (!serialNumber.empty())
        return QStringLiteral("unit %1 (serial number %2)").arg(number).arg(QString::fromStdString(serialNumber));
    if (!path.isEmpty())
        return QStringLiteral("unit %1 (%2)").arg(number).arg(path);
    return QStringLiteral("unit %1").arg(number);
}

QString InterruptedWhileCommissioning(const QStringList& units, bool allRecorded, const QString& record,
                                      const std::optional<std::uint32_t>& next)
{
    QString text = QStringLiteral("Interrupted: %1 %2 being commissioned; %3.")
                       .arg(units.join(QStringLiteral(", ")),
                            units.size() == 1 ? QStringLiteral("was") : QStringLiteral("were"),
                            allRecorded ? QStringLiteral("recorded in ") + record
                                        : QStringLiteral("not all could be recorded (see above)"));
    return text + NextIpSentence(next);
}

QString InterruptedWhileWaiting(const std::optional<int>& number, const std::optional<std::uint32_t>& next)
{
    return QStringLiteral("Interrupted while waiting for %1; no unit was being commissioned.")
               .arg(number ? QStringLiteral("unit %1").arg(*number) : QStringLiteral("units"))
           + NextIpSentence(next);
}

} // namespace vantrel::cli
