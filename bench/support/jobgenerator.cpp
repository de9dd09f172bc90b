#include "jobgenerator.h"

#include "store/kelvaratable.h"
#include "store/sqlite.h"
#include "store/table.h"

#include <QDate>
#include <QDir>
#include <QStringList>

namespace kelvara::bench {

namespace {

const QStringList kFirstNames = {
    QStringLiteral("Anne"),     QStringLiteral("Bjørn"),   QStringLiteral("Carl"),   QStringLiteral("Dorothy"),
    QStringLiteral("Erik"),     QStringLiteral("Frida"),   QStringLiteral("George"), QStringLiteral("Hanne"),
    QStringLiteral("Ingrid"),   QStringLiteral("James"),   QStringLiteral("Karen"),  QStringLiteral("Lars"),
    QStringLiteral("Margaret"), QStringLiteral("Nils"),    QStringLiteral("Olga"),   QStringLiteral("Peter"),
    QStringLiteral("Ruth"),     QStringLiteral("Søren"),   QStringLiteral("Thomas"), QStringLiteral("Ulla"),
    QStringLiteral("Victor"),   QStringLiteral("William"), QStringLiteral("Yvonne"), QStringLiteral("Åse"),
};
const QStringList kLastNames = {
    QStringLiteral("Andersen"),    QStringLiteral("Baker"),       QStringLiteral("Christensen"),
    QStringLiteral("Davies"),      QStringLiteral("Evans"),       QStringLiteral("Fischer"),
    QStringLiteral("Gray"),        QStringLiteral("Hansen"),      QStringLiteral("Ibsen"),
    QStringLiteral("Jensen"),      QStringLiteral("Kristiansen"), QStringLiteral("Larsen"),
    QStringLiteral("Miller"),      QStringLiteral("Nielsen"),     QStringLiteral("O'Brien"),
    QStringLiteral("Pedersen"),    QStringLiteral("Quinn"),       QStringLiteral("Rasmussen"),
    QStringLiteral("Smith"),       QStringLiteral("Thomsen"),     QStringLiteral("Underwood"),
    QStringLiteral("Vestergaard"), QStringLiteral("Walker"),      QStringLiteral("Ærø"),
    QStringLiteral("Østergaard"),
};
const QStringList kStreets = {
    QStringLiteral("High Street"),  QStringLiteral("Church Lane"), QStringLiteral("Mill Road"),
    QStringLiteral("Station Road"), QStringLiteral("Park Avenue"), QStringLiteral("Elm Close"),
    QStringLiteral("Skovvej"),      QStringLiteral("Kirkegade"),   QStringLiteral("Birkevej"),
    QStringLiteral("Meadow Way"),   QStringLiteral("Orchard Row"), QStringLiteral("Bee Hive Lane"),
};
const QStringList kCities = {
    QStringLiteral("Springfield"), QStringLiteral("Riverside"),  QStringLiteral("Fairview"), QStringLiteral("Odense"),
    QStringLiteral("Aarhus"),      QStringLiteral("Greenville"), QStringLiteral("Madison"),  QStringLiteral("Kolding"),
    QStringLiteral("Franklin"),    QStringLiteral("Clinton"),
};
const QStringList kStates = {
    QStringLiteral("WI"), QStringLiteral("MN"), QStringLiteral("IA"),  QStringLiteral("IL"),
    QStringLiteral("OR"), QStringLiteral("WA"), QStringLiteral("Fyn"), QStringLiteral("Jylland"),
};
const QStringList kCameFrom = {
    QStringLiteral("Tree branch"), QStringLiteral("Wall cavity"), QStringLiteral("Chimney"),
    QStringLiteral("Hedge"),       QStringLiteral("Fence post"),  QStringLiteral("Mailbox"),
    QStringLiteral("Shed roof"),   QStringLiteral("Car bumper"),
};
const QStringList kWentInto = {
    QStringLiteral("Hive 1"),       QStringLiteral("Hive 2"),    QStringLiteral("Hive 3"),
    QStringLiteral("Nuc box A"),    QStringLiteral("Nuc box B"), QStringLiteral("Given away"),
    QStringLiteral("Apiary north"),
};
const QStringList kBees = {
    QStringLiteral("Italian"), QStringLiteral("Carniolan"), QStringLiteral("Buckfast"),
    QStringLiteral("Russian"), QStringLiteral("Unknown"),   QStringLiteral("Africanized?"),
};
const QStringList kMethods = {
    QStringLiteral("Shake into box"), QStringLiteral("Cut-out"),  QStringLiteral("Bait hive"),
    QStringLiteral("Vacuum"),         QStringLiteral("Trap-out"), QStringLiteral("Brush"),
};
const QStringList kNotes = {
    QStringLiteral("Queen seen on the second shake; colony calm."),
    QStringLiteral("Customer allergic, keep the window shut.\nCall before coming."),
    QStringLiteral("Swarm about 8 m up, needed the long ladder. Paid cash."),
    QStringLiteral("Second swarm from the same colony this season; suggested a split next spring."),
    QStringLiteral("Comb built inside the wall; removed three panels and repaired them."),
};

}  // namespace

QString JobGenerator::pick(const QStringList &list)
{
    return list.at(int(m_random.bounded(quint32(list.size()))));
}

QString JobGenerator::phone()
{
    return QStringLiteral("+45 %1 %2 %3 %4")
        .arg(m_random.bounded(20, 99))
        .arg(m_random.bounded(10, 99))
        .arg(m_random.bounded(10, 99))
        .arg(m_random.bounded(10, 99));
}

QVariantList JobGenerator::nextJob()
{
    const QDate start(2004, 1, 1);
    const QDate date = start.addDays(m_random.bounded(20 * 365));
    const QString first = pick(kFirstNames);
    const QString last = pick(kLastNames);
    QVariantList job;
    job << date << first << last << phone() << (m_random.bounded(3) ? phone() : QString()) << phone();
    job << QString(first.left(1) + last + QStringLiteral("@mail.dk")).left(20).toLower();
    job << QStringLiteral("%1 %2").arg(m_random.bounded(1, 300)).arg(pick(kStreets));
    job << (m_random.bounded(5) ? QVariant() : QVariant(QStringLiteral("Flat %1").arg(m_random.bounded(1, 40))));
    job << pick(kCities) << QString::number(m_random.bounded(1000, 99999));
    job << QStringLiteral("%1 %2").arg(m_random.bounded(1, 300)).arg(pick(kStreets));
    job << QVariant() << pick(kCities);
    job << pick(kCameFrom) << pick(kWentInto) << pick(kBees) << pick(kMethods);
    job << (m_random.bounded(4) == 0 ? QVariant(pick(kNotes)) : QVariant());
    job << pick(kStates) << pick(kStates);
    job << int(m_random.bounded(15, 600));
    for (int i = 0; i < 5; ++i)
        job << QVariant();
    for (int i = 0; i < 5; ++i)
        job << (m_random.bounded(10) == 0 ? QVariant(QStringLiteral("Photo %1 of the swarm").arg(i + 1)) : QVariant());
    return job;
}

void JobGenerator::fillTable(const QString &directory, const QString &name, int count, int photoBytes)
{
    Table table;
    table.setDirectory(directory);
    table.setTableName(name);
    if (table.exists())
        table.deleteTable();
    createKelvaraTable(table);

    const FieldDefs defs = kelvaraFieldDefs();
    QStringList columns, marks;
    for (const FieldDef &def : defs) {
        columns << sql::quoted(def.name);
        marks << QStringLiteral("?");
    }
    sql::Database db(table.fileName(), sql::Database::Mode::ReadWrite);
    db.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    db.exec(QStringLiteral("PRAGMA synchronous=OFF"));
    sql::Transaction transaction(db);
    sql::Statement insert
        = db.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                         .arg(sql::quoted(name), columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))));
    sql::Statement photo = db.prepare(QStringLiteral("INSERT INTO %1 (\"rid\", \"field\", \"data\") VALUES (?, ?, ?)")
                                          .arg(sql::quoted(name + QStringLiteral("_blobs"))));
    QByteArray bytes(photoBytes, Qt::Uninitialized);
    for (int i = 0; i < count; ++i) {
        const QVariantList job = nextJob();
        for (int c = 0; c < defs.size(); ++c) {
            QVariant value = job.at(c);
            if (defs.at(c).type == ftDate)
                value = value.toDate().toString(Qt::ISODate);
            if (defs.at(c).type == ftBlob && photoBytes > 0)
                value = qint64(photoBytes);
            insert.bind(c + 1, value);
        }
        insert.run();
        if (photoBytes > 0) {
            const qint64 rid = db.lastInsertRowId();
            for (int c = 0; c < defs.size(); ++c) {
                if (defs.at(c).type != ftBlob)
                    continue;
                // Incompressible bytes, like the JPEG data they stand for.
                auto *words = reinterpret_cast<quint32 *>(bytes.data());
                m_random.fillRange(words, bytes.size() / int(sizeof(quint32)));
                photo.bindInt64(1, rid);
                photo.bindText(2, defs.at(c).name);
                photo.bindBlob(3, bytes);
                photo.run();
            }
        }
    }
    insert = sql::Statement();
    photo = sql::Statement();
    transaction.commit();
}

}  // namespace kelvara::bench
