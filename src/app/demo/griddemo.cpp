// Shows the data sheet's grid, set up as the main window sets it up, over a generated "kelvara"
// table in a temporary directory.
// Usage: griddemo [records] [--editable] [--multiselect] [--rowselect]
#include "app/datasheetgrid.h"
#include "grid/tenhancedgrid.h"
#include "platform/errorreport.h"
#include "store/datasource.h"
#include "store/field.h"
#include "store/kelvaratable.h"
#include "store/table.h"

#include <QDate>
#include <QDir>
#include <QLabel>
#include <QMetaEnum>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QWidget>

using namespace kelvara;

namespace {

void fill(Table &table, int count)
{
    const QStringList first{QStringLiteral("Anne"),    QStringLiteral("Bjørn"), QStringLiteral("Carl"),
                            QStringLiteral("Dorothy"), QStringLiteral("Erik"),  QStringLiteral("Frida")};
    const QStringList last{QStringLiteral("Andersen"), QStringLiteral("Baker"), QStringLiteral("Christensen"),
                           QStringLiteral("Davies"), QStringLiteral("Evans")};
    const QStringList from{QStringLiteral("Tree branch"), QStringLiteral("Wall cavity"), QStringLiteral("Chimney")};
    const QStringList bees{QStringLiteral("Italian"), QStringLiteral("Carniolan"), QStringLiteral("Buckfast")};
    const QDate start(2019, 4, 1);
    for (int i = 0; i < count; ++i) {
        table.append();
        table.fieldByName(QStringLiteral("Dato"))->setValue(start.addDays(i));
        table.fieldByName(QStringLiteral("Firstname"))->setAsString(first.at(i % first.size()));
        table.fieldByName(QStringLiteral("Lastname"))->setAsString(last.at(i % last.size()));
        table.fieldByName(QStringLiteral("HomePhone"))->setAsString(QStringLiteral("555-%1").arg(1000 + i));
        table.fieldByName(QStringLiteral("Email"))->setAsString(QStringLiteral("job%1@example.org").arg(i + 1));
        table.fieldByName(QStringLiteral("camefrom"))->setAsString(from.at(i % from.size()));
        table.fieldByName(QStringLiteral("wentinto"))->setAsString(QStringLiteral("Hive %1").arg(i % 7 + 1));
        table.fieldByName(QStringLiteral("Typeofbee"))->setAsString(bees.at(i % bees.size()));
        table.fieldByName(QStringLiteral("method"))
            ->setAsString(i % 2 ? QStringLiteral("Box") : QStringLiteral("Vacuum"));
        table.post();
    }
    table.first();
}

}  // namespace

int main(int argc, char **argv)
{
    Application app(argc, argv);
    const QStringList args = app.arguments();
    int count = 60;
    for (const QString &arg : args.mid(1)) {
        bool ok = false;
        const int n = arg.toInt(&ok);
        if (ok)
            count = n;
    }
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());

    Table table;
    table.setTableName(QStringLiteral("kelvara"));
    createKelvaraTable(table);
    table.open();
    fill(table, count);

    DataSource source;
    source.setDataSet(&table);

    QWidget window;
    window.setWindowTitle(QStringLiteral("Grid demo"));
    auto *layout = new QVBoxLayout(&window);
    auto *status = new QLabel(&window);
    auto *grid = new TEnhancedGrid(&window);
    layout->addWidget(grid);
    layout->addWidget(status);

    setUpDataSheetGrid(*grid, &source);
    // The data sheet is read-only; the switches open up what the grid can do beyond it.
    TDBGrid::TDBGridOptions options = grid->options();
    if (args.contains(QStringLiteral("--multiselect")))
        options |= TDBGrid::dgMultiSelect;
    if (args.contains(QStringLiteral("--rowselect")))
        options |= TDBGrid::dgRowSelect;
    grid->setOptions(options);
    if (args.contains(QStringLiteral("--editable")))
        grid->setReadOnly(false);

    auto showState = [&] {
        status->setText(QStringLiteral("Record %1 of %2, state %3")
                            .arg(table.recNo())
                            .arg(table.recordCount())
                            .arg(QString::fromLatin1(QMetaEnum::fromType<DataSetState>().valueToKey(table.state()))));
    };
    QObject::connect(&source, &DataSource::dataChanged, &window, showState);
    QObject::connect(&source, &DataSource::stateChanged, &window, showState);
    showState();

    window.resize(969, 300);
    window.show();
    grid->setFocus();
    return app.exec();
}
