#include "grid/fieldkind.h"
#include "grid/gridsizing.h"
#include "gridfixture.h"
#include "store/error.h"
#include "store/field.h"
#include "store/sqlite.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtTest>

using namespace kelvara;
using kelvara::test::GridFixture;

namespace {

using Widths = QList<int>;
using Shown = QList<bool>;

int advance(const QFont &font, const QString &text)
{
    return QFontMetrics(font).horizontalAdvance(text);
}

QFont bigFont()
{
    QFont font;
    font.setPixelSize(30);
    return font;
}

sizing::MeasuredColumn column(Field *field, const QFont &font = QFont(), int startWidth = 0, bool wholeText = false)
{
    sizing::MeasuredColumn measured;
    measured.field = field;
    measured.font = font;
    measured.startWidth = startWidth;
    measured.wholeText = wholeText;
    return measured;
}

// A name and two memo-like fields, a plain and a formatted memo, given the same note.
struct NotesFixture : GridFixture
{
    NotesFixture() : GridFixture(0, defs()) { }

    static FieldDefs defs()
    {
        return {test::fieldDef(QStringLiteral("Name"), ftString, 20), test::fieldDef(QStringLiteral("Notes"), ftMemo),
                test::fieldDef(QStringLiteral("Formatted"), ftFmtMemo)};
    }

    void add(const QString &name, const QVariant &note)
    {
        table.append();
        table.fieldByName(QStringLiteral("Name"))->setAsString(name);
        table.fieldByName(QStringLiteral("Notes"))->setValue(note);
        table.fieldByName(QStringLiteral("Formatted"))->setValue(note);
        table.post();
    }

    Field *field(const char *name) { return table.fieldByName(QString::fromLatin1(name)); }
};

// Texts of digits among other characters, drawn from a fixed seed so that a failure repeats.
QStringList phoneNumbers(int count)
{
    QRandomGenerator random(45);
    QStringList texts;
    for (int i = 0; i < count; ++i) {
        texts << QStringLiteral("+45 %1 %2 %3 %4")
                     .arg(random.bounded(10, 99))
                     .arg(random.bounded(10, 99))
                     .arg(random.bounded(10, 99))
                     .arg(random.bounded(10, 99));
    }
    return texts;
}

// "1st" .. "300th", shuffled: the letters beside the digits change with the number.
QStringList ordinals()
{
    QStringList texts;
    for (int n = 0; n <= 300; ++n) {
        const int tens = n % 100;
        const char *suffix = "th";
        if (tens < 11 || tens > 13)
            suffix = n % 10 == 1 ? "st" : n % 10 == 2 ? "nd" : n % 10 == 3 ? "rd" : "th";
        texts << QString::number(n) + QLatin1String(suffix);
    }
    std::shuffle(texts.begin(), texts.end(), QRandomGenerator(11));
    return texts;
}

QStringList randomTexts(const QString &alphabet, int count, int longest)
{
    QRandomGenerator random(7);
    QStringList texts;
    for (int i = 0; i < count; ++i) {
        QString text;
        for (int length = random.bounded(1, longest + 1); length > 0; --length)
            text += alphabet.at(random.bounded(int(alphabet.size())));
        texts << text;
    }
    return texts;
}

// Whether the font's ten digits and their pairs advance alike, unrounded: what lets the texts of
// a column that differ only in their digits share a width.
bool digitsAlike(const QFont &font)
{
    const QFontMetricsF metrics(font);
    for (char16_t first = u'0'; first <= u'9'; ++first) {
        if (metrics.horizontalAdvance(QString(QChar(first))) != metrics.horizontalAdvance(QStringLiteral("0")))
            return false;
        for (char16_t second = u'0'; second <= u'9'; ++second) {
            if (metrics.horizontalAdvance(QString(QChar(first)) + QChar(second))
                != metrics.horizontalAdvance(QStringLiteral("00")))
                return false;
        }
    }
    return true;
}

}  // namespace

class GridSizingTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void availableWidth_data();
    void availableWidth();
    void uniformWidths_data();
    void uniformWidths();
    void proportionalWidths_data();
    void proportionalWidths();
    void measuredWidth_data();
    void measuredWidth();
    void wrappedTitleHeight_data();
    void wrappedTitleHeight();
    void memoLikeTypes();
    void widestValueOfEachColumnInItsOwnFont();
    void widestValuesKeepTheirStartWidths_data();
    void widestValuesKeepTheirStartWidths();
    void nullValuesAreNotMeasured();
    void textsWithDigitsMeasureAsTheCanvasDoes_data();
    void textsWithDigitsMeasureAsTheCanvasDoes();
    void memoLikeValuesMeasuredAsDisplayOrWholeText_data();
    void memoLikeValuesMeasuredAsDisplayOrWholeText();
    void walkReadsEachRecordOnceWithControlsDisabledAndEndsOnTheFirst();
    void failedReadEndsTheWalkAndResumesTheControls();
};

void GridSizingTest::availableWidth_data()
{
    QTest::addColumn<int>("client");
    QTest::addColumn<int>("visible");
    QTest::addColumn<int>("line");
    QTest::addColumn<bool>("colLines");
    QTest::addColumn<bool>("indicator");
    QTest::addColumn<int>("expected");

    QTest::newRow("no lines, no indicator -> client width") << 500 << 3 << 1 << false << false << 500;
    QTest::newRow("column lines: one per visible column") << 500 << 3 << 1 << true << false << 497;
    QTest::newRow("indicator alone: 11") << 500 << 3 << 1 << false << true << 489;
    QTest::newRow("both: the indicator's line too") << 500 << 3 << 1 << true << true << 485;
    QTest::newRow("2-pixel lines") << 500 << 3 << 2 << true << true << 481;
    QTest::newRow("no visible columns") << 500 << 0 << 1 << true << true << 488;
}

void GridSizingTest::availableWidth()
{
    QFETCH(int, client);
    QFETCH(int, visible);
    QFETCH(int, line);
    QFETCH(bool, colLines);
    QFETCH(bool, indicator);
    QFETCH(int, expected);
    QCOMPARE(sizing::availableWidth(client, visible, line, colLines, indicator), expected);
}

void GridSizingTest::uniformWidths_data()
{
    QTest::addColumn<Widths>("widths");
    QTest::addColumn<Shown>("visible");
    QTest::addColumn<int>("available");
    QTest::addColumn<Widths>("expected");

    QTest::newRow("1000 over 3 -> 334 333 333")
        << Widths{50, 60, 70} << Shown{true, true, true} << 1000 << Widths{334, 333, 333};
    QTest::newRow("hidden column at 0: no one below r = 1 -> 333 333 333")
        << Widths{-1, 50, 60, 70} << Shown{false, true, true, true} << 1000 << Widths{-1, 333, 333, 333};
    QTest::newRow("r = 2 with a hidden column at 1: positions 0 and 1 would get it, only 0 shows")
        << Widths{10, -1, 10, 10} << Shown{true, false, true, true} << 1001 << Widths{334, -1, 333, 333};
    QTest::newRow("even split") << Widths{1, 2, 3} << Shown{true, true, true} << 300 << Widths{100, 100, 100};
    QTest::newRow("no visible columns: unchanged") << Widths{-1, -1} << Shown{false, false} << 500 << Widths{-1, -1};
}

void GridSizingTest::uniformWidths()
{
    QFETCH(Widths, widths);
    QFETCH(Shown, visible);
    QFETCH(int, available);
    QFETCH(Widths, expected);
    QCOMPARE(sizing::uniformWidths(widths, visible, available), expected);
}

void GridSizingTest::proportionalWidths_data()
{
    QTest::addColumn<Widths>("widths");
    QTest::addColumn<Shown>("visible");
    QTest::addColumn<int>("available");
    QTest::addColumn<Widths>("expected");

    QTest::newRow("shares kept") << Widths{100, 200, 100} << Shown{true, true, true} << 800 << Widths{200, 400, 200};
    QTest::newRow("2.5 rounds down to 2, the last takes the rest")
        << Widths{1, 1, 1, 1} << Shown{true, true, true, true} << 10 << Widths{2, 2, 2, 4};
    QTest::newRow("3.5 rounds up to 4, the last gives back")
        << Widths{1, 1, 1, 1} << Shown{true, true, true, true} << 14 << Widths{4, 4, 4, 2};
    QTest::newRow("4.5 rounds to 4, not 5") << Widths{3, 1} << Shown{true, true} << 6 << Widths{4, 2};
    QTest::newRow("uneven shares sum to the available width")
        << Widths{37, 91, 13, 55} << Shown{true, true, true, true} << 503 << Widths{95, 234, 33, 141};
    QTest::newRow("hidden column keeps its width and takes no share")
        << Widths{50, -1, 50} << Shown{true, false, true} << 101 << Widths{50, -1, 51};
    QTest::newRow("last visible column before a hidden one absorbs the rest")
        << Widths{1, 1, -1} << Shown{true, true, false} << 5 << Widths{2, 3, -1};
    QTest::newRow("widths summing to 0: equal shares")
        << Widths{0, 0, 0} << Shown{true, true, true} << 1000 << Widths{334, 333, 333};
    QTest::newRow("no visible columns: unchanged") << Widths{-1} << Shown{false} << 500 << Widths{-1};
}

void GridSizingTest::proportionalWidths()
{
    QFETCH(Widths, widths);
    QFETCH(Shown, visible);
    QFETCH(int, available);
    QFETCH(Widths, expected);
    QCOMPARE(sizing::proportionalWidths(widths, visible, available), expected);
}

void GridSizingTest::measuredWidth_data()
{
    QTest::addColumn<int>("widest");
    QTest::addColumn<int>("defaultWidth");
    QTest::addColumn<int>("client");
    QTest::addColumn<int>("expected");

    QTest::newRow("nothing measured -> default width") << 0 << 64 << 500 << 64;
    QTest::newRow("widest + 5") << 40 << 64 << 500 << 45;
    QTest::newRow("+ 5 reaching the client width exactly") << 495 << 64 << 500 << 500;
    QTest::newRow("wider than the client -> client width") << 496 << 64 << 500 << 500;
    QTest::newRow("narrower than the default still + 5") << 10 << 64 << 500 << 15;
}

void GridSizingTest::measuredWidth()
{
    QFETCH(int, widest);
    QFETCH(int, defaultWidth);
    QFETCH(int, client);
    QFETCH(int, expected);
    QCOMPARE(sizing::measuredWidth(widest, defaultWidth, client), expected);
}

void GridSizingTest::wrappedTitleHeight_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("width");  // -2: as wide as "From" + 1, to break after "Came"
    QTest::addColumn<int>("lines");

    QTest::newRow("fits on one line") << QStringLiteral("Came From") << 1000 << 1;
    QTest::newRow("breaks at the word boundary") << QStringLiteral("Came From") << -2 << 2;
    QTest::newRow("width 1: one word per line") << QStringLiteral("Went Into The Hive") << 1 << 4;
    QTest::newRow("width 0: unbroken") << QStringLiteral("Went Into The Hive") << 0 << 1;
    QTest::newRow("hidden column's -1: unbroken") << QStringLiteral("Went Into The Hive") << -1 << 1;
    QTest::newRow("empty caption") << QString() << 100 << 0;
}

void GridSizingTest::wrappedTitleHeight()
{
    QFETCH(QString, caption);
    QFETCH(int, width);
    QFETCH(int, lines);
    const QFont font = bigFont();
    const QFontMetrics metrics(font);
    if (width == -2)
        width = metrics.horizontalAdvance(QStringLiteral("From")) + 1;
    const int expected = lines == 0 ? 0
                                    : metrics
                                          .boundingRect(QRect(0, 0, 10000, 10000), Qt::AlignLeft | Qt::AlignTop,
                                                        QStringList(lines, QStringLiteral("X")).join(QLatin1Char('\n')))
                                          .height();
    QCOMPARE(sizing::wrappedTitleHeight(font, caption, width), expected);
}

void GridSizingTest::memoLikeTypes()
{
    for (FieldType type : {ftMemo, ftFmtMemo, ftBytes})
        QVERIFY2(isMemoLike(type), QMetaEnum::fromType<FieldType>().valueToKey(type));
    for (FieldType type : {ftString, ftBlob, ftGraphic, ftVarBytes, ftTypedBinary, ftInteger})
        QVERIFY2(!isMemoLike(type), QMetaEnum::fromType<FieldType>().valueToKey(type));
}

void GridSizingTest::widestValueOfEachColumnInItsOwnFont()
{
    // Names "Name 1" .. "Name 12"; cities "City 0" .. "City 2", each several times.
    GridFixture fixture(12);
    Field *name = fixture.table.fieldByName(QStringLiteral("Name"));
    Field *city = fixture.table.fieldByName(QStringLiteral("City"));
    Field *count = fixture.table.fieldByName(QStringLiteral("Count"));
    QFont small;
    small.setPixelSize(9);

    // The same field twice in different fonts: a width learnt for a text in one column must
    // not be reused in the other.
    const QList<int> widest = sizing::widestValues(
        fixture.table, {column(name), column(city, small), column(city, bigFont()), column(count, bigFont())});

    auto widestOf = [](const QFont &font, const QStringList &texts) {
        int result = 0;
        for (const QString &text : texts)
            result = std::max(result, advance(font, text));
        return result;
    };
    QStringList names, counts;
    for (int i = 1; i <= 12; ++i) {
        names << QStringLiteral("Name %1").arg(i);
        counts << QString::number(i);
    }
    const QStringList cities{QStringLiteral("City 0"), QStringLiteral("City 1"), QStringLiteral("City 2")};
    QCOMPARE(widest,
             (QList<int>{widestOf(QFont(), names), widestOf(small, cities), widestOf(bigFont(), cities),
                         widestOf(bigFont(), counts)}));
    QVERIFY(widest.at(1) < widest.at(2));
}

void GridSizingTest::widestValuesKeepTheirStartWidths_data()
{
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("startWidth");
    QTest::addColumn<bool>("startWins");

    QTest::newRow("no records") << 0 << 37 << true;
    QTest::newRow("no records, start 0") << 0 << 0 << true;
    QTest::newRow("values narrower than the start") << 3 << 1000 << true;
    QTest::newRow("values wider than the start") << 3 << 2 << false;
}

void GridSizingTest::widestValuesKeepTheirStartWidths()
{
    QFETCH(int, records);
    QFETCH(int, startWidth);
    QFETCH(bool, startWins);
    GridFixture fixture(records);
    Field *name = fixture.table.fieldByName(QStringLiteral("Name"));

    // The middle column has no field: it is not read and keeps its start width.
    const QList<int> widest = sizing::widestValues(
        fixture.table,
        {column(name, QFont(), startWidth), column(nullptr, QFont(), 12), column(name, bigFont(), startWidth)});

    QCOMPARE(widest.size(), 3);
    QCOMPARE(widest.at(1), 12);
    if (startWins) {
        QCOMPARE(widest.at(0), startWidth);
        QCOMPARE(widest.at(2), startWidth);
    } else {
        QCOMPARE(widest.at(0), advance(QFont(), QStringLiteral("Name 3")));
        QCOMPARE(widest.at(2), advance(bigFont(), QStringLiteral("Name 3")));
    }
    QVERIFY(!fixture.table.controlsDisabled());
}

void GridSizingTest::nullValuesAreNotMeasured()
{
    // A null memo would show as "(Memo)": measuring it would give that text's width.
    NotesFixture fixture;
    fixture.add(QStringLiteral("a"), QVariant());
    fixture.add(QStringLiteral("b"), QVariant());
    Field *notes = fixture.field("Notes");
    QCOMPARE(sizing::widestValues(fixture.table, {column(notes), column(notes, QFont(), 0, true)}), (QList<int>{0, 0}));

    fixture.add(QStringLiteral("c"), QStringLiteral("x"));
    QCOMPARE(sizing::widestValues(fixture.table, {column(notes)}),
             QList<int>{advance(QFont(), QStringLiteral("(MEMO)"))});
}

void GridSizingTest::textsWithDigitsMeasureAsTheCanvasDoes_data()
{
    QTest::addColumn<QString>("family");  // empty: the application font
    QTest::addColumn<int>("pixelSize");
    QTest::addColumn<QStringList>("texts");

    QTest::addColumn<bool>("fontChecked");  // false: only the texts tell whether digits may share widths

    const QStringList phones = phoneNumbers(300);
    const QString mixed = QStringLiteral("0123456789 stndrhAVTWfy.,-/()+'%");
    // Dingbats: its "digits" are symbols of different widths, no figures at all.
    const QString dingbats = QStringLiteral("D050000L");
    QTest::newRow("phone numbers, application font") << QString() << 13 << phones << true;
    QTest::newRow("phone numbers, 30 px") << QString() << 30 << phones << true;
    QTest::newRow("phone numbers, serif") << QStringLiteral("Nimbus Roman") << 17 << phones << true;
    QTest::newRow("phone numbers, script") << QStringLiteral("Z003") << 22 << phones << true;
    QTest::newRow("phone numbers, dingbats") << dingbats << 13 << phones << true;
    QTest::newRow("phone numbers, dingbats, texts only") << dingbats << 13 << phones << false;
    QTest::newRow("phone numbers, application font, texts only") << QString() << 13 << phones << false;
    QTest::newRow("ordinals 1st 11th 22nd, application font") << QString() << 13 << ordinals() << true;
    QTest::newRow("ordinals, serif") << QStringLiteral("Nimbus Roman") << 23 << ordinals() << true;
    QTest::newRow("ordinals, script") << QStringLiteral("Z003") << 22 << ordinals() << true;
    QTest::newRow("ordinals, dingbats") << dingbats << 22 << ordinals() << true;
    QTest::newRow("ordinals, dingbats, texts only") << dingbats << 22 << ordinals() << false;
    QTest::newRow("digits among letters and signs, application font")
        << QString() << 13 << randomTexts(mixed, 400, 12) << true;
    QTest::newRow("digits among letters and signs, bookman")
        << QStringLiteral("URW Bookman") << 19 << randomTexts(mixed, 400, 12) << true;
    QTest::newRow("digits among letters and signs, monospace")
        << QStringLiteral("DejaVu Sans Mono") << 13 << randomTexts(mixed, 400, 12) << true;
    QTest::newRow("digits among letters and signs, dingbats, texts only")
        << dingbats << 13 << randomTexts(mixed, 400, 12) << false;
    // Arabic-Indic digits are kept as they are; a mark over a digit, Hebrew and Arabic letters
    // beside digits and a fraction slash between them are measured with the digits in place.
    QTest::newRow("digits beside other scripts and marks")
        << QString() << 15
        << randomTexts(QStringLiteral("0123456789 \u0661\u0662\u0667\u05D0\u05E9\u0628\u0645\u0301\u2044\u00B2\u00B0x"),
                       400, 8)
        << true;
}

void GridSizingTest::textsWithDigitsMeasureAsTheCanvasDoes()
{
    QFETCH(QString, family);
    QFETCH(int, pixelSize);
    QFETCH(QStringList, texts);
    QFETCH(bool, fontChecked);
    QFont font = family.isEmpty() ? QFont() : QFont(family);
    font.setPixelSize(pixelSize);
    const QFontMetrics metrics(font);

    // Every text, the first time and again from what the column learnt, measures its full width.
    sizing::TextWidths widths(
        font, fontChecked ? sizing::TextWidths::FigureCheck::FontAndTexts : sizing::TextWidths::FigureCheck::TextsOnly);
    int widest = 0;
    for (int pass = 0; pass < 2; ++pass) {
        for (const QString &text : texts) {
            const int expected = metrics.horizontalAdvance(text);
            const int measured = widths.width(text);
            QVERIFY2(measured == expected,
                     qPrintable(QStringLiteral("\"%1\": %2, not %3").arg(text).arg(measured).arg(expected)));
            widest = std::max(widest, expected);
        }
    }
    // Where the font allows it the texts shared widths, so the comparisons above covered that;
    // where it does not, the font or else the texts turned sharing off.
    QCOMPARE(widths.sharesDigitPatterns(), digitsAlike(font));

    // The walk over a table of these texts finds the widest of them in full.
    NotesFixture fixture;
    for (const QString &text : texts)
        fixture.add(text, QVariant());
    Field *name = fixture.field("Name");
    int widestShown = 0;
    for (fixture.table.first(); !fixture.table.eof(); fixture.table.next())
        widestShown = std::max(widestShown, metrics.horizontalAdvance(name->displayText()));
    QCOMPARE(widestShown, widest);
    QCOMPARE(sizing::widestValues(fixture.table, {column(name, font)}), QList<int>{widest});
}

void GridSizingTest::memoLikeValuesMeasuredAsDisplayOrWholeText_data()
{
    QTest::addColumn<QString>("fieldName");
    QTest::addColumn<bool>("wholeText");
    QTest::addColumn<QString>("measured");

    const QString note = QStringLiteral("Swarm hung high in the old apple tree by the gate");
    QTest::newRow("memo: display text") << QStringLiteral("Notes") << false << QStringLiteral("(MEMO)");
    QTest::newRow("memo: whole text") << QStringLiteral("Notes") << true << note;
    QTest::newRow("formatted memo: display text")
        << QStringLiteral("Formatted") << false << QStringLiteral("(FMTMEMO)");
    QTest::newRow("formatted memo: whole text") << QStringLiteral("Formatted") << true << note;
}

void GridSizingTest::memoLikeValuesMeasuredAsDisplayOrWholeText()
{
    QFETCH(QString, fieldName);
    QFETCH(bool, wholeText);
    QFETCH(QString, measured);
    NotesFixture fixture;
    fixture.add(QStringLiteral("short"), QStringLiteral("Box"));
    fixture.add(QStringLiteral("long"), QStringLiteral("Swarm hung high in the old apple tree by the gate"));
    fixture.add(QStringLiteral("none"), QVariant());
    Field *field = fixture.table.fieldByName(fieldName);

    QCOMPARE(sizing::widestValues(fixture.table, {column(field, bigFont(), 0, wholeText)}),
             QList<int>{advance(bigFont(), measured)});
}

void GridSizingTest::walkReadsEachRecordOnceWithControlsDisabledAndEndsOnTheFirst()
{
    GridFixture fixture(5);
    fixture.table.setRecNo(3);
    QList<bool> disabledAtMoves;
    QStringList namesSeen;
    connect(&fixture.table, &Table::afterScroll, this, [&] {
        disabledAtMoves << fixture.table.controlsDisabled();
        namesSeen << fixture.table.fieldByName(QStringLiteral("Name"))->asString();
    });
    const QList<Field *> fields = fixture.table.fields();

    sizing::widestValues(fixture.table, {column(fields.at(0)), column(fields.at(1)), column(fields.at(2))});

    // From the last record back to the first, once for all three columns; the step back from the
    // first only sets the beginning.
    QCOMPARE(namesSeen, (QStringList{"Name 5", "Name 4", "Name 3", "Name 2", "Name 1", "Name 1"}));
    QCOMPARE(disabledAtMoves, QList<bool>(6, true));
    QVERIFY(!fixture.table.controlsDisabled());
    QCOMPARE(fixture.table.recNo(), 1);
    QVERIFY(fixture.table.bof());
}

void GridSizingTest::failedReadEndsTheWalkAndResumesTheControls()
{
    GridFixture fixture(200);
    // Opened anew, the table has read only its first record.
    fixture.table.close();
    fixture.table.open();
    {
        // Another program deletes a record the open table still lists.
        sql::Database other(fixture.table.fileName(), sql::Database::Mode::ReadWrite);
        other.exec(QStringLiteral("DELETE FROM \"jobs\" WHERE \"Name\" = 'Name 100'"));
    }
    Field *name = fixture.table.fieldByName(QStringLiteral("Name"));

    QVERIFY_THROWS_EXCEPTION(Error, sizing::widestValues(fixture.table, {column(name)}));
    QVERIFY(!fixture.table.controlsDisabled());
    // The walk stopped on the record after the deleted one.
    QCOMPARE(name->asString(), QStringLiteral("Name 101"));
}

QTEST_MAIN(GridSizingTest)
#include "tst_gridsizing.moc"
