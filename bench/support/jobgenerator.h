#pragma once

#include <QRandomGenerator>
#include <QString>
#include <QVariantList>

namespace kelvara {
class Table;
}

namespace kelvara::bench {

// Makes plausible swarm-removal jobs for the benchmark tables, repeatably from a seed.
// Tables are filled through one bulk transaction in the store's own file format.
class JobGenerator
{
public:
    explicit JobGenerator(quint32 seed) : m_random(seed) { }

    // The 32 values of one job, in field order; pictures are null.
    QVariantList nextJob();

    // Creates table `name` in `directory` with the kelvara design and stores `count` jobs.
    // With photoBytes > 0 each job gets five photos of that many bytes.
    void fillTable(const QString &directory, const QString &name, int count, int photoBytes);

private:
    QString pick(const QStringList &list);
    QString phone();

    QRandomGenerator m_random;
};

}  // namespace kelvara::bench
