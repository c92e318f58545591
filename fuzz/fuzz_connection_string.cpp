// The connection string. A parser that follows the ODBC rules on its own (attribute=value pairs
// separated by ";"; a value in braces may hold ";" and stands until the "}" that is not doubled,
// "}}" standing for "}"; a value without braces runs to the next ";") gives back exactly the
// attributes in their order and exactly the values typed into the login window.

#include "FuzzSupport.h"

#include "connection/ConnectionString.h"

#include <utility>
#include <vector>

namespace {

using tabulon::fuzz::show;
using Attributes = std::vector<std::pair<QString, QString>>;

Attributes parseOdbc(const QString& text)
{
    Attributes out;
    qsizetype at = 0;
    while (at < text.size()) {
        const qsizetype equals = text.indexOf(QLatin1Char('='), at);
        FUZZ_REQUIRE(equals > at, "an attribute without a keyword at " + std::to_string(at) + " in " + show(text));
        const QString key = text.mid(at, equals - at);
        FUZZ_REQUIRE(!key.contains(QLatin1Char(';')) && !key.contains(QLatin1Char('{')), "a keyword holds ; or {: " + show(key));
        at = equals + 1;
        QString value;
        if (at < text.size() && text[at] == QLatin1Char('{')) {
            for (++at;; ++at) {
                FUZZ_REQUIRE(at < text.size(), "a value in braces has no end: " + show(text));
                if (text[at] == QLatin1Char('}')) {
                    if (at + 1 < text.size() && text[at + 1] == QLatin1Char('}')) {
                        value += QLatin1Char('}');
                        ++at;
                        continue;
                    }
                    ++at;
                    break;
                }
                value += text[at];
            }
            FUZZ_REQUIRE(at == text.size() || text[at] == QLatin1Char(';'), "text after a closing brace: " + show(text));
        } else {
            const qsizetype end = text.indexOf(QLatin1Char(';'), at);
            value = text.mid(at, end < 0 ? -1 : end - at);
            at = end < 0 ? text.size() : end;
        }
        out.emplace_back(key, value);
        if (at < text.size())
            ++at; // the ";"
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    auto field = [&in] {
        const std::string bytes = in.ConsumeRandomLengthString(64);
        return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    };
    tabulon::LoginFields f;
    f.local = in.ConsumeBool();
    f.server = field();
    f.port = field();
    f.database = field();
    f.user = field();
    f.password = field();

    const QString text = tabulon::BuildConnectionString(f);
    FUZZ_REQUIRE(tabulon::connectionStringUtf8(f) == text.toStdString(), "the UTF-8 form differs");
    const Attributes expected = {
        {QStringLiteral("Driver"), QStringLiteral("SQL Server")},
        {QStringLiteral("Server"), f.local ? f.server : f.server + QLatin1Char(',') + f.port},
        {QStringLiteral("Database"), f.database},
        {QStringLiteral("Uid"), f.user},
        {QStringLiteral("Pwd"), f.password},
    };
    const Attributes read = parseOdbc(text);
    FUZZ_REQUIRE(read.size() == expected.size(), "read " + std::to_string(read.size()) + " attributes from " + show(text));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        FUZZ_REQUIRE(read[i].first == expected[i].first, "attribute " + std::to_string(i) + " is " + show(read[i].first));
        FUZZ_REQUIRE(read[i].second == expected[i].second,
                show(expected[i].first) + " reads back as " + show(read[i].second) + ", typed " + show(expected[i].second));
    }
    FUZZ_REQUIRE(text.endsWith(QLatin1Char(';')), "the text does not end in ;");

    // A value that needs no braces stands as typed (the worked examples stay byte-exact).
    auto plain = [](const QString& v) {
        return !v.contains(QLatin1Char(';')) && !v.startsWith(QLatin1Char('{')) && !v.startsWith(QLatin1Char(' ')) &&
               !v.endsWith(QLatin1Char(' '));
    };
    if (plain(f.database) && plain(f.user) && plain(f.password) && plain(expected[1].second))
        FUZZ_REQUIRE(text == QStringLiteral("Driver={SQL Server};Server=") + expected[1].second + QStringLiteral(";Database=") +
                            f.database + QStringLiteral(";Uid=") + f.user + QStringLiteral(";Pwd=") + f.password +
                            QLatin1Char(';'),
                "plain values were changed: " + show(text));
    return 0;
}
