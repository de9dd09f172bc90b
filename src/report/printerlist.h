#pragma once

#include <QStringList>

#include <optional>

namespace kelvara {

// The printers the system offers, by name. Tests install a list of their own, so that what
// depends on the number of printers can be tried on any machine.
class PrinterList
{
public:
    static QStringList names();
    static int count() { return int(names().size()); }

    // Replaces the system's list until reset with std::nullopt.
    static void useNames(std::optional<QStringList> names);
};

// Installs a printer list for the lifetime of a test and gives the system's back after.
class PrinterListScope
{
public:
    explicit PrinterListScope(const QStringList &names) { PrinterList::useNames(names); }
    ~PrinterListScope() { PrinterList::useNames(std::nullopt); }
    PrinterListScope(const PrinterListScope &) = delete;
    PrinterListScope &operator=(const PrinterListScope &) = delete;
};

}  // namespace kelvara
