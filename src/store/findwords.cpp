#include "store/findwords.h"

#include <QHash>

namespace kelvara::findwords {

namespace {

// Letters that Unicode gives no decomposition, spelt the way a user types them without the
// key for them.
QString plainSpelling(char32_t c)
{
    switch (c) {
    case U'ø':
    case U'Ø': return QStringLiteral("o");
    case U'æ':
    case U'Æ': return QStringLiteral("ae");
    case U'œ':
    case U'Œ': return QStringLiteral("oe");
    case U'ß':
    case U'ẞ': return QStringLiteral("ss");
    case U'đ':
    case U'Đ':
    case U'ð':
    case U'Ð': return QStringLiteral("d");
    case U'þ':
    case U'Þ': return QStringLiteral("th");
    case U'ł':
    case U'Ł': return QStringLiteral("l");
    case U'ı': return QStringLiteral("i");
    case U'ħ':
    case U'Ħ': return QStringLiteral("h");
    case U'ŧ':
    case U'Ŧ': return QStringLiteral("t");
    default: return QString();
    }
}

QString foldCharacter(char32_t c)
{
    QString plain = plainSpelling(c);
    if (!plain.isEmpty())
        return plain;
    const QString decomposed = QString::fromUcs4(&c, 1).normalized(QString::NormalizationForm_KD).toCaseFolded();
    QString result;
    for (const QChar ch : decomposed) {
        switch (ch.category()) {
        case QChar::Mark_NonSpacing:
        case QChar::Mark_SpacingCombining:
        case QChar::Mark_Enclosing: continue;
        default: break;
        }
        // Surrogates come in pairs and stand for letters or digits beyond the first plane.
        result += ch.isLetterOrNumber() || ch.isSurrogate() ? ch : QChar(u' ');
    }
    if (result.size() == 2 && result.at(0).isHighSurrogate()) {
        const char32_t folded = QChar::surrogateToUcs4(result.at(0), result.at(1));
        if (!QChar::isLetterOrNumber(folded))
            return QStringLiteral(" ");
    }
    return result;
}

// Folding one character at a time through a cache: a job's texts are mostly ASCII, and the same
// few other letters come back in every record.
const QString &foldedCharacter(char32_t c)
{
    thread_local QHash<char32_t, QString> cache;
    auto it = cache.constFind(c);
    if (it == cache.constEnd())
        it = cache.insert(c, foldCharacter(c));
    return *it;
}

void foldInto(QString &out, QStringView text)
{
    out.reserve(out.size() + text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (u < 0x80) {
            if ((u >= 'a' && u <= 'z') || (u >= '0' && u <= '9'))
                out += QChar(u);
            else if (u >= 'A' && u <= 'Z')
                out += QChar(u + 32);
            else
                out += QChar(u' ');
            continue;
        }
        char32_t c = u;
        if (QChar::isHighSurrogate(u) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(u, text[i + 1].unicode());
            ++i;
        } else if (QChar::isSurrogate(u)) {
            out += QChar(u' ');  // half a pair: no character
            continue;
        }
        out += foldedCharacter(c);
    }
}

bool isDigits(QStringView word)
{
    for (const QChar c : word) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return !word.isEmpty();
}

// The longest phone numbers have 15 digits; a join stops before it grows past a number.
constexpr qsizetype kLongestJoin = 20;

template <typename Each> void forEachWord(QStringView text, Each &&each)
{
    qsizetype start = -1;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        const bool space = i == text.size() || text[i] == u' ';
        if (space && start >= 0) {
            each(text.mid(start, i - start));
            start = -1;
        } else if (!space && start < 0) {
            start = i;
        }
    }
}

}  // namespace

QString fold(QStringView text)
{
    QString out;
    foldInto(out, text);
    return out;
}

void appendToDocument(QString &document, QStringView value)
{
    if (value.isEmpty())
        return;
    const qsizetype from = document.size();
    foldInto(document, value);
    document += QChar(u' ');
    // The digit groups that follow each other, joined from each group on.
    QList<QStringView> groups;
    QString joins;
    auto join = [&] {
        for (qsizetype first = 0; first + 1 < groups.size(); ++first) {
            qsizetype length = 0;
            qsizetype last = first;
            while (last < groups.size() && length + groups[last].size() <= kLongestJoin)
                length += groups[last++].size();
            if (last - first < 2)
                continue;
            for (qsizetype i = first; i < last; ++i)
                joins += groups[i];
            joins += QChar(u' ');
        }
        groups.clear();
    };
    const QString folded = document.mid(from);
    forEachWord(folded, [&](QStringView word) {
        if (isDigits(word))
            groups << word;
        else
            join();
    });
    join();
    document += joins;
}

QStringList queryWords(QStringView typed)
{
    QStringList words;
    const QString folded = fold(typed);
    forEachWord(folded, [&](QStringView word) {
        if (words.size() < kMaxWords && !words.contains(word))
            words << word.toString();
    });
    return words;
}

QString ftsQuery(const QStringList &words)
{
    QString query;
    for (const QString &word : words) {
        if (!query.isEmpty())
            query += QChar(u' ');
        // A folded word holds letters and digits only: no quote to double, nothing to escape.
        query += QChar(u'"') + word + QStringLiteral("\"*");
    }
    return query;
}

bool documentMatches(const QStringList &words, QStringView document)
{
    for (const QString &word : words) {
        bool found = false;
        forEachWord(document, [&](QStringView candidate) {
            if (!found && candidate.startsWith(word))
                found = true;
        });
        if (!found)
            return false;
    }
    return true;
}

}  // namespace kelvara::findwords
