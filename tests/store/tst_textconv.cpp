#include "store/textconv.h"

#include <QtTest>

using namespace kelvara;

// Number pictures and the user's date order, without a table.
class TextConvTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void numberPictures_data();
    void numberPictures();
    void generalNumbers_data();
    void generalNumbers();
    void dateOrders_data();
    void dateOrders();
    void localeChangesAreSeen();
};

void TextConvTest::numberPictures_data()
{
    QTest::addColumn<QString>("picture");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");

    QTest::newRow("00.00 whole") << "00.00" << 90.0 << "en_GB"
                                 << "90.00";
    QTest::newRow("00.00 pads") << "00.00" << 5.0 << "en_GB"
                                << "05.00";
    QTest::newRow("00.00 rounds") << "00.00" << 1.005 << "en_GB"
                                  << "01.00";
    QTest::newRow("00.00 rounds up") << "00.00" << 2.346 << "en_GB"
                                     << "02.35";
    QTest::newRow("00.00 negative") << "00.00" << -7.5 << "en_GB"
                                    << "-07.50";
    QTest::newRow("00.00 comma locale") << "00.00" << 12.25 << "de_DE"
                                        << "12,25";
    QTest::newRow("#.## drops zeros") << "#.##" << 2.5 << "en_GB"
                                      << "2.5";
    QTest::newRow("#.## of zero") << "#.##" << 0.0 << "en_GB"
                                  << "0";
    QTest::newRow("#.## of a fraction") << "#.##" << 0.25 << "en_GB"
                                        << ".25";
    QTest::newRow("grouping") << "#,##0.00" << 1234567.891 << "en_GB"
                              << "1,234,567.89";
    QTest::newRow("grouping, comma locale") << "#,##0.00" << 1234567.891 << "de_DE"
                                            << "1.234.567,89";
    QTest::newRow("literal text") << "0.0 'min'" << 3.0 << "en_GB"
                                  << "3.0 min";
    QTest::newRow("negative section") << "0.00;(0.00)" << -4.0 << "en_GB"
                                      << "(4.00)";
    QTest::newRow("zero section") << "0.00;(0.00);Zero" << 0.0 << "en_GB"
                                  << "Zero";
    QTest::newRow("tiny value is zero") << "0.00;(0.00);Zero" << 0.001 << "en_GB"
                                        << "Zero";
    QTest::newRow("huge value") << "0.00" << 1e20 << "en_GB"
                                << "100000000000000000000.00";
}

void TextConvTest::numberPictures()
{
    QFETCH(QString, picture);
    QFETCH(double, value);
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QCOMPARE(formatFloat(picture, value, QLocale(locale)), text);
}

void TextConvTest::generalNumbers_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("whole") << 40000.0 << "40000";
    QTest::newRow("negative") << -32768.0 << "-32768";
    QTest::newRow("fraction") << 0.1 << "0.1";
    QTest::newRow("large") << 1e20 << "1e+20";
}

void TextConvTest::generalNumbers()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(generalNumber(value), text);
    QCOMPARE(formatFloat(QString(), value, QLocale(QLocale::English, QLocale::UnitedKingdom)), text);
}

void TextConvTest::dateOrders_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<bool>("monthFirst");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("christmas");
    QTest::newRow("en_GB") << "en_GB" << false << "/"
                           << "25/12/2023";
    QTest::newRow("en_US") << "en_US" << true << "/"
                           << "12/25/2023";
    QTest::newRow("de_DE") << "de_DE" << false << "."
                           << "25.12.2023";
    QTest::newRow("da_DK") << "da_DK" << false << "."
                           << "25.12.2023";
}

void TextConvTest::dateOrders()
{
    QFETCH(QString, locale);
    QFETCH(bool, monthFirst);
    QFETCH(QString, separator);
    QFETCH(QString, christmas);
    const QLocale l(locale);
    const DateOrder order = dateOrder(l);
    QCOMPARE(order.monthFirst, monthFirst);
    QCOMPARE(QString(order.separator), separator);
    QCOMPARE(dateToText(QDate(2023, 12, 25), l), christmas);
    QCOMPARE(textToDate(christmas, l), std::optional<QDate>(QDate(2023, 12, 25)));
    QCOMPARE(dateToText(QDate(), l), QString());
}

void TextConvTest::localeChangesAreSeen()
{
    // Both helpers keep what they learn of a locale; a new default locale must still count.
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    QCOMPARE(dateToText(QDate(2023, 12, 25)), QStringLiteral("25/12/2023"));
    QCOMPARE(formatFloat(QStringLiteral("0.0"), 1.5), QStringLiteral("1.5"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(dateToText(QDate(2023, 12, 25)), QStringLiteral("12/25/2023"));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(formatFloat(QStringLiteral("0.0"), 1.5), QStringLiteral("1,5"));
    QCOMPARE(formatFloat(QStringLiteral("0.00"), 1.5), QStringLiteral("1,50"));
    QLocale::setDefault(previous);
}

QTEST_GUILESS_MAIN(TextConvTest)
#include "tst_textconv.moc"
