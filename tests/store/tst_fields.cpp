#include "storefixture.h"
#include "testworkspace.h"

#include <QtTest>

#include <cmath>

using namespace kelvara;
using namespace kelvara::test;

// Fields: the field list, display settings, kinds, and the conversions and messages of values.
class FieldsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fieldListAndLookup();
    void displaySettings();
    void movingAFieldReordersTheList();
    void kinds();
    void integerText_data();
    void integerText();
    void integerValues_data();
    void integerValues();
    void dates_data();
    void dates();
    void textKeepsItsSize_data();
    void textKeepsItsSize();
    void numberPicture_data();
    void numberPicture();
    void storedText_data();
    void storedText();
    void memoAndBlobDisplay();
    void nullAndClear();
    void otherTypesRoundTrip();
    void accessorsOfNull();
};

void FieldsTest::fieldListAndLookup()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, {});
    QCOMPARE(table.fieldCount(), 6);
    QCOMPARE(table.field(2)->fieldName(), QStringLiteral("hours"));
    QCOMPARE(table.field(2)->fieldNo(), 3);
    QCOMPARE(table.findField(QStringLiteral("HOURS")), table.field(2));
    QCOMPARE(table.findField(QStringLiteral("nope")), nullptr);
    QCOMPARE(table.fieldByName(QStringLiteral("Day")), table.field(3));
    QCOMPARE(errorOf([&] { table.fieldByName(QStringLiteral("nope")); }), QStringLiteral("Field 'nope' not found"));
    QCOMPARE(table.field(0)->dataSet(), &table);
}

void FieldsTest::displaySettings()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, {});
    Field *name = table.fieldByName(QStringLiteral("name"));
    QCOMPARE(name->displayLabel(), QStringLiteral("name"));
    name->setDisplayLabel(QStringLiteral("Customer"));
    QCOMPARE(name->displayLabel(), QStringLiteral("Customer"));
    QCOMPARE(name->displayName(), QStringLiteral("Customer"));
    QCOMPARE(name->displayWidth(), 10);
    QCOMPARE(table.fieldByName(QStringLiteral("hours"))->displayWidth(), 6);
    QCOMPARE(table.fieldByName(QStringLiteral("day"))->displayWidth(), 10);
    name->setDisplayWidth(30);
    QCOMPARE(name->displayWidth(), 30);
    QVERIFY(name->visible());
    name->setVisible(false);
    QVERIFY(!name->visible());
    QCOMPARE(name->alignment(), taLeftJustify);
    QCOMPARE(table.fieldByName(QStringLiteral("hours"))->alignment(), taRightJustify);
    name->setAlignment(taCenter);
    QCOMPARE(name->alignment(), taCenter);

    // A label names the field in messages.
    table.insert();
    Field *hours = table.fieldByName(QStringLiteral("hours"));
    hours->setDisplayLabel(QStringLiteral("Time used"));
    QCOMPARE(errorOf([&] { hours->setAsString(QStringLiteral("x")); }),
             QStringLiteral("'x' is not a valid integer value for field 'Time used'"));
}

void FieldsTest::movingAFieldReordersTheList()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, {{QStringLiteral("a"), QStringLiteral("b"), 3}});
    DataSource source;
    source.setDataSet(&table);
    EventLog log;
    RecordingLink link(&log);
    link.setDataSource(&source);
    log.clear();

    Field *day = table.fieldByName(QStringLiteral("day"));
    day->setIndex(0);
    QCOMPARE(day->index(), 0);
    QCOMPARE(table.field(0), day);
    QCOMPARE(table.field(1)->fieldName(), QStringLiteral("name"));
    QCOMPARE(day->fieldNo(), 4);
    QCOMPARE(log.take(), QStringList{QStringLiteral("link layout")});
    day->setIndex(99);
    QCOMPARE(table.field(5), day);
    QCOMPARE(table.fieldByName(QStringLiteral("hours"))->asInteger(), 3);

    // Values by position follow the field list as it now stands.
    table.insertRecord({QStringLiteral("x"), QStringLiteral("y"), 9});
    QCOMPARE(table.fieldByName(QStringLiteral("name"))->asString(), QStringLiteral("x"));
    QCOMPARE(table.fieldByName(QStringLiteral("hours"))->asInteger(), 9);
}

void FieldsTest::kinds()
{
    TestWorkspace workspace;
    Table table;
    const FieldDefs defs
        = {fieldDef(QStringLiteral("memo"), ftMemo),      fieldDef(QStringLiteral("rich"), ftFmtMemo),
           fieldDef(QStringLiteral("blob"), ftBlob),      fieldDef(QStringLiteral("picture"), ftGraphic),
           fieldDef(QStringLiteral("flag"), ftBoolean),   fieldDef(QStringLiteral("day"), ftDate),
           fieldDef(QStringLiteral("stamp"), ftDateTime), fieldDef(QStringLiteral("text"), ftString, 5)};
    makeTable(table, {}, defs, QStringLiteral("kinds"));
    auto field = [&](const char *name) { return table.fieldByName(QString::fromLatin1(name)); };
    QVERIFY(field("memo")->isMemoField() && field("memo")->isBlobField());
    QVERIFY(!field("rich")->isMemoField() && field("rich")->isBlobField());
    QVERIFY(field("blob")->isBlobField() && !field("blob")->isGraphicField());
    QVERIFY(field("picture")->isGraphicField() && field("picture")->isBlobField());
    QVERIFY(field("flag")->isBooleanField());
    QVERIFY(field("day")->isDateTimeField() && field("stamp")->isDateTimeField());
    QVERIFY(field("text")->isStringField() && !field("text")->isBlobField());
    QCOMPARE(field("picture")->dataType(), ftGraphic);
}

void FieldsTest::integerText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("message");
    const QString invalid = QStringLiteral("'%1' is not a valid integer value for field 'hours'");
    const QString range
        = QStringLiteral("%1 is not a valid value for field 'hours'. The allowed range is -32768 to 32767");

    QTest::newRow("12") << QStringLiteral("12") << QVariant(12) << QString();
    QTest::newRow("leading blanks") << QStringLiteral("  7") << QVariant(7) << QString();
    QTest::newRow("plus sign") << QStringLiteral("+7") << QVariant(7) << QString();
    QTest::newRow("hexadecimal") << QStringLiteral("$7F") << QVariant(127) << QString();
    QTest::newRow("lowest") << QStringLiteral("-32768") << QVariant(-32768) << QString();
    QTest::newRow("highest") << QStringLiteral("32767") << QVariant(32767) << QString();
    QTest::newRow("empty gives null") << QString() << QVariant() << QString();
    QTest::newRow("one too high") << QStringLiteral("32768") << QVariant() << range.arg(QStringLiteral("32768"));
    QTest::newRow("one too low") << QStringLiteral("-32769") << QVariant() << range.arg(QStringLiteral("-32769"));
    QTest::newRow("beyond 32 bits") << QStringLiteral("99999999999") << QVariant()
                                    << invalid.arg(QStringLiteral("99999999999"));
    QTest::newRow("trailing blank") << QStringLiteral("12 ") << QVariant() << invalid.arg(QStringLiteral("12 "));
    QTest::newRow("decimals") << QStringLiteral("1.5") << QVariant() << invalid.arg(QStringLiteral("1.5"));
    QTest::newRow("letters") << QStringLiteral("abc") << QVariant() << invalid.arg(QStringLiteral("abc"));
    QTest::newRow("sign alone") << QStringLiteral("-") << QVariant() << invalid.arg(QStringLiteral("-"));
    QTest::newRow("exponent") << QStringLiteral("1e3") << QVariant() << invalid.arg(QStringLiteral("1e3"));
    QTest::newRow("blank only") << QStringLiteral(" ") << QVariant() << invalid.arg(QStringLiteral(" "));
}

void FieldsTest::integerText()
{
    QFETCH(QString, text);
    QFETCH(QVariant, value);
    QFETCH(QString, message);
    TestWorkspace workspace;
    Table table;
    makeTable(table, {{QStringLiteral("a"), QString(), 5}});
    table.edit();
    Field *hours = table.fieldByName(QStringLiteral("hours"));
    QCOMPARE(errorOf([&] { hours->setAsString(text); }), message);
    if (message.isEmpty()) {
        QCOMPARE(hours->value(), value);
        table.post();
        table.refresh();
        QCOMPARE(hours->value(), value);
    } else {
        QCOMPARE(hours->asInteger(), 5);
    }
}

void FieldsTest::integerValues_data()
{
    QTest::addColumn<QVariant>("input");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("message");
    const QString range
        = QStringLiteral("%1 is not a valid value for field 'hours'. The allowed range is -32768 to 32767");
    QTest::newRow("int") << QVariant(90) << QVariant(90) << QString();
    QTest::newRow("double rounds") << QVariant(12.6) << QVariant(13) << QString();
    QTest::newRow("40000") << QVariant(40000) << QVariant() << range.arg(QStringLiteral("40000"));
    QTest::newRow("-1e6") << QVariant(-1e6) << QVariant() << range.arg(QStringLiteral("-1000000"));
    QTest::newRow("fraction out of range") << QVariant(32767.6) << QVariant() << range.arg(QStringLiteral("32768"));
    QTest::newRow("NaN") << QVariant(std::nan("")) << QVariant() << range.arg(QStringLiteral("nan"));
    QTest::newRow("infinity") << QVariant(HUGE_VAL) << QVariant() << range.arg(QStringLiteral("inf"));
    QTest::newRow("-infinity") << QVariant(-HUGE_VAL) << QVariant() << range.arg(QStringLiteral("-inf"));
    QTest::newRow("null") << QVariant() << QVariant() << QString();
}

void FieldsTest::integerValues()
{
    QFETCH(QVariant, input);
    QFETCH(QVariant, value);
    QFETCH(QString, message);
    TestWorkspace workspace;
    Table table;
    makeTable(table, {{QStringLiteral("a"), QString(), 5}});
    table.edit();
    Field *hours = table.fieldByName(QStringLiteral("hours"));
    QCOMPARE(errorOf([&] { hours->setValue(input); }), message);
    QCOMPARE(hours->value(), message.isEmpty() ? value : QVariant(5));
}

void FieldsTest::dates_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("shown");  // display text; empty: the input is refused

    QTest::newRow("en_GB day first") << "en_GB"
                                     << "25/12/2023" << QDate(2023, 12, 25) << "25/12/2023";
    QTest::newRow("en_GB short parts") << "en_GB"
                                       << "1/2/2023" << QDate(2023, 2, 1) << "01/02/2023";
    QTest::newRow("en_GB month first refused") << "en_GB"
                                               << "12/25/2023" << QDate() << "";
    QTest::newRow("en_US month first") << "en_US"
                                       << "12/25/2023" << QDate(2023, 12, 25) << "12/25/2023";
    QTest::newRow("en_US four-digit year shown") << "en_US"
                                                 << "1/2/2023" << QDate(2023, 1, 2) << "01/02/2023";
    QTest::newRow("de_DE dots") << "de_DE"
                                << "24.12.2023" << QDate(2023, 12, 24) << "24.12.2023";
    QTest::newRow("two-digit year") << "en_GB"
                                    << "3/4/21" << QDate(2021, 4, 3) << "03/04/2021";
    QTest::newRow("early year") << "en_GB"
                                << "01/01/0900" << QDate(900, 1, 1) << "01/01/0900";
    QTest::newRow("30 February") << "en_GB"
                                 << "30/02/2024" << QDate() << "";
    QTest::newRow("month 13") << "en_GB"
                              << "01/13/2024" << QDate() << "";
    QTest::newRow("words") << "en_GB"
                           << "tomorrow" << QDate() << "";
    QTest::newRow("empty mask") << "en_GB"
                                << "  /  /    " << QDate() << "";
}

void FieldsTest::dates()
{
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(QDate, date);
    QFETCH(QString, shown);
    TestWorkspace workspace{QLocale(locale)};
    Table table;
    makeTable(table, {{QStringLiteral("a")}});
    table.edit();
    Field *day = table.fieldByName(QStringLiteral("day"));
    const QString error = errorOf([&] { day->setAsString(text); });
    if (shown.isEmpty()) {
        QCOMPARE(error, QStringLiteral("'%1' is not a valid date").arg(text));
        QVERIFY(day->isNull());
        return;
    }
    QCOMPARE(error, QString());
    QCOMPARE(day->value(), QVariant(date));
    table.post();
    table.refresh();
    QCOMPARE(day->value(), QVariant(date));
    QCOMPARE(day->asString(), shown);
    QCOMPARE(day->displayText(), shown);
    QString appended;
    day->appendDisplayText(appended);
    QCOMPARE(appended, shown);
    QCOMPARE(day->asDateTime(), QDateTime(date, QTime(0, 0)));
}

void FieldsTest::textKeepsItsSize_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("kept");
    const QString emoji = QString::fromUtf8("\xF0\x9F\x90\x9D");  // a bee, two UTF-16 units
    QTest::newRow("short") << "Anne"
                           << "Anne";
    QTest::newRow("exactly ten") << "0123456789"
                                 << "0123456789";
    QTest::newRow("longer is cut") << "0123456789abc"
                                   << "0123456789";
    QTest::newRow("letters outside ASCII count once")
        << QString::fromUtf8("Østergaard Æblehave") << QString::fromUtf8("Østergaard");
    QTest::newRow("a pair is one character")
        << QStringLiteral("123456789") + emoji + QStringLiteral("x") << QStringLiteral("123456789") + emoji;
    QTest::newRow("a pair is never split")
        << QStringLiteral("12345678") + emoji + emoji << QStringLiteral("12345678") + emoji + emoji;
    QTest::newRow("quotes and semicolons") << "a'b;\"c\";--"
                                           << "a'b;\"c\";--";
}

void FieldsTest::textKeepsItsSize()
{
    QFETCH(QString, text);
    QFETCH(QString, kept);
    TestWorkspace workspace;
    Table table;
    makeTable(table, {});
    table.insert();
    table.fieldByName(QStringLiteral("name"))->setAsString(text);
    QCOMPARE(currentName(table), kept);
    table.post();
    table.refresh();
    QCOMPARE(currentName(table), kept);
}

void FieldsTest::numberPicture_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<int>("minutes");
    QTest::addColumn<QString>("shown");
    QTest::newRow("90 en_GB") << "en_GB" << 90 << "90.00";
    QTest::newRow("5 en_GB") << "en_GB" << 5 << "05.00";
    QTest::newRow("0 en_GB") << "en_GB" << 0 << "00.00";
    QTest::newRow("-5 en_GB") << "en_GB" << -5 << "-05.00";
    QTest::newRow("32767 en_GB") << "en_GB" << 32767 << "32767.00";
    QTest::newRow("90 de_DE") << "de_DE" << 90 << "90,00";
    QTest::newRow("-120 de_DE") << "de_DE" << -120 << "-120,00";
}

void FieldsTest::numberPicture()
{
    QFETCH(QString, locale);
    QFETCH(int, minutes);
    QFETCH(QString, shown);
    TestWorkspace workspace{QLocale(locale)};
    Table table;
    makeTable(table, {{QStringLiteral("a"), QString(), minutes}});
    Field *hours = table.fieldByName(QStringLiteral("hours"));
    QCOMPARE(hours->displayText(), QString::number(minutes));
    hours->setDisplayFormat(QStringLiteral("00.00"));
    QCOMPARE(hours->displayText(), shown);
    QCOMPARE(hours->asString(), QString::number(minutes));
    QCOMPARE(hours->text(), QString::number(minutes));
}

void FieldsTest::storedText_data()
{
    QTest::addColumn<QByteArray>("stored");  // the bytes in the file, as any program wrote them

    QTest::newRow("empty") << QByteArray("");
    const QByteArray letters("Swarm in the old apple tree, Odense 5000 ");
    for (int length : {1, 3, 4, 5, 7, 8, 9, 12, 15, 16, 17, 31, 32, 33, 40})
        QTest::addRow("ASCII, %d characters", length) << letters.left(length);
    for (int at : {0, 3, 7, 8, 12, 16, 20, 35})
        QTest::addRow("e acute at %d", at) << QByteArray(letters).insert(at, "\xc3\xa9");
    QTest::newRow("outside the basic plane") << QStringLiteral("Bee \U0001F41D swarm").toUtf8();
    QTest::newRow("not UTF-8") << QByteArray("Hive\xff\xfe 12");
}

// Text is decoded from the record as stored; what a field hands out stays the caller's own,
// unchanged by later reads and edits, after the record is gone too.
void FieldsTest::storedText()
{
    QFETCH(QByteArray, stored);
    TestWorkspace workspace;
    Table table;
    makeTable(table, {{QStringLiteral("x"), QStringLiteral("y")}},
              {fieldDef(QStringLiteral("place"), ftString, 60), fieldDef(QStringLiteral("other"), ftString, 60)});
    table.close();
    {
        sql::Database db(QStringLiteral("jobs.db"), sql::Database::Mode::ReadWrite);
        sql::Statement update = db.prepare(QStringLiteral("UPDATE \"jobs\" SET \"place\" = CAST(? AS TEXT)"));
        update.bindBlob(1, stored);
        update.run();
    }
    table.open();
    const QString expected = QString::fromUtf8(stored);
    Field *place = table.fieldByName(QStringLiteral("place"));
    // Appended to a line, as an export does, before and after the text was decoded for display.
    QString line = QStringLiteral("a|");
    place->appendDisplayText(line);
    QCOMPARE(line, QStringLiteral("a|") + expected);
    const QString shown = place->displayText();
    QCOMPARE(shown, expected);
    place->appendDisplayText(line);
    QCOMPARE(line, QStringLiteral("a|") + expected + expected);
    QCOMPARE(place->asString(), expected);
    QCOMPARE(table.fieldByName(QStringLiteral("other"))->asString(), QStringLiteral("y"));

    QString changed = place->asString();
    changed += QStringLiteral(" and more");
    changed[0] = QLatin1Char('#');
    QCOMPARE(place->asString(), expected);

    table.edit();
    place->setAsString(QStringLiteral("new"));
    QString edited = QStringLiteral("|");
    place->appendDisplayText(edited);
    QCOMPARE(edited, QStringLiteral("|new"));
    table.post();
    table.close();
    QCOMPARE(shown, expected);
    QCOMPARE(shown.utf16()[shown.size()], u'\0');
    QString wanted = expected + QStringLiteral(" and more");
    wanted[0] = QLatin1Char('#');
    QCOMPARE(changed, wanted);
}

void FieldsTest::memoAndBlobDisplay()
{
    TestWorkspace workspace;
    Table table;
    const FieldDefs defs = {fieldDef(QStringLiteral("note"), ftMemo), fieldDef(QStringLiteral("rich"), ftFmtMemo),
                            fieldDef(QStringLiteral("photo"), ftBlob), fieldDef(QStringLiteral("picture"), ftGraphic)};
    makeTable(
        table,
        {{}, {QStringLiteral("text"), QStringLiteral("{\\rtf1 x}"), QByteArray("\x01\x02"), QByteArray("\xff\xd8")}},
        defs, QStringLiteral("memos"));
    auto shown = [&] {
        QStringList texts;
        for (const Field *field : table.fields())
            texts << field->displayText();
        return texts;
    };
    QCOMPARE(shown(),
             (QStringList{QStringLiteral("(Memo)"), QStringLiteral("(FmtMemo)"), QStringLiteral("(Blob)"),
                          QStringLiteral("(Graphic)")}));
    table.next();
    QCOMPARE(shown(),
             (QStringList{QStringLiteral("(MEMO)"), QStringLiteral("(FMTMEMO)"), QStringLiteral("(BLOB)"),
                          QStringLiteral("(GRAPHIC)")}));
    QCOMPARE(table.field(0)->asString(), QStringLiteral("text"));

    // An emptied memo holds nothing.
    table.edit();
    table.field(0)->setAsString(QString());
    QVERIFY(table.field(0)->isNull());
    QCOMPARE(table.field(0)->displayText(), QStringLiteral("(Memo)"));
    table.post();
    table.refresh();
    QVERIFY(table.field(0)->isNull());
}

void FieldsTest::nullAndClear()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, {{QStringLiteral("a"), QStringLiteral("b"), 4, QDate(2020, 1, 1), QStringLiteral("n")}});
    table.edit();
    for (Field *field : table.fields()) {
        field->clear();
        QVERIFY2(field->isNull(), qPrintable(field->fieldName()));
        QCOMPARE(field->value(), QVariant());
        QCOMPARE(field->asString(), QString());
    }
    table.post();
    table.refresh();
    for (const Field *field : table.fields())
        QVERIFY2(field->isNull(), qPrintable(field->fieldName()));

    // An empty text is a value of a text field, not null.
    table.edit();
    table.field(1)->setAsString(QString(""));
    table.post();
    table.refresh();
    QVERIFY(!table.field(1)->isNull());
    QVERIFY(table.locate(QStringLiteral("city"), {QString("")}, {}));
}

void FieldsTest::otherTypesRoundTrip()
{
    TestWorkspace workspace{QLocale(QLocale::German, QLocale::Germany)};
    Table table;
    const FieldDefs defs = {fieldDef(QStringLiteral("flag"), ftBoolean),  fieldDef(QStringLiteral("ratio"), ftFloat),
                            fieldDef(QStringLiteral("clock"), ftTime),    fieldDef(QStringLiteral("stamp"), ftDateTime),
                            fieldDef(QStringLiteral("whole"), ftInteger), fieldDef(QStringLiteral("word"), ftWord)};
    makeTable(table, {}, defs, QStringLiteral("types"));
    table.insert();
    table.field(0)->setAsString(QStringLiteral("true"));
    table.field(1)->setAsString(QStringLiteral("2,5"));
    table.field(2)->setAsString(QStringLiteral("13:45"));
    table.field(3)->setAsString(QStringLiteral("24.12.2023 18:30:05"));
    table.field(4)->setAsInteger(-2000000000);
    table.field(5)->setAsInteger(65535);
    QCOMPARE(errorOf([&] { table.field(5)->setAsInteger(-1); }),
             QStringLiteral("-1 is not a valid value for field 'word'. The allowed range is 0 to 65535"));
    QCOMPARE(errorOf([&] { table.field(0)->setAsString(QStringLiteral("maybe")); }),
             QStringLiteral("'maybe' is not a valid boolean value for field 'flag'"));
    QCOMPARE(errorOf([&] { table.field(2)->setAsString(QStringLiteral("25:00")); }),
             QStringLiteral("'25:00' is not a valid time"));
    table.post();
    table.refresh();
    QCOMPARE(table.field(0)->asString(), QStringLiteral("True"));
    QVERIFY(table.field(0)->asBoolean());
    QCOMPARE(table.field(1)->asFloat(), 2.5);
    QCOMPARE(table.field(1)->displayText(), QStringLiteral("2,5"));
    QCOMPARE(table.field(2)->asString(), QStringLiteral("13:45:00"));
    QCOMPARE(table.field(3)->asDateTime(), QDateTime(QDate(2023, 12, 24), QTime(18, 30, 5)));
    QCOMPARE(table.field(3)->displayText(), QStringLiteral("24.12.2023 18:30:05"));
    QCOMPARE(table.field(4)->asInteger(), -2000000000);
    QCOMPARE(table.field(5)->asInteger(), 65535);
}

void FieldsTest::accessorsOfNull()
{
    TestWorkspace workspace;
    Table table;
    makeTable(table, {{}});
    const Field *hours = table.fieldByName(QStringLiteral("hours"));
    QCOMPARE(hours->asInteger(), 0);
    QCOMPARE(hours->asFloat(), 0.0);
    QVERIFY(!hours->asBoolean());
    QVERIFY(!table.fieldByName(QStringLiteral("day"))->asDateTime().isValid());
    QCOMPARE(errorOf([&] { variantToInteger(hours->value()); }),
             QStringLiteral("Could not convert variant of type (Null) into type (Integer)"));
    QCOMPARE(variantToInteger(QVariant(42)), 42);
}

QTEST_GUILESS_MAIN(FieldsTest)
#include "tst_fields.moc"
