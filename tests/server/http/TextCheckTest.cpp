#include "http/TextCheck.h"

#include <QTest>

using namespace Qt::StringLiterals;

// Bodies are the bytes as they arrive, escapes included: the check must see what
// QJsonDocument hides (it turns a lone surrogate escape into U+FFFD).
class TextCheckTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void namesFirstUncleanMember_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("field"); // null: every text is clean

        const auto row = [](const char *name, const char *body, const QString &field) {
            QTest::newRow(name) << QByteArray(body) << field;
        };
        row("plain", "{\"name\":\"Ann's room\"}", {});
        row("escaped surrogate pair", "{\"name\":\"\\ud83c\\udfc0\"}", {});
        row("UTF-8 of two, three and four bytes",
            "{\"name\":\"Zo\xc3\xab \xe2\x82\xac \xf0\x9f\x8f\x80\"}", {});
        row("escaped backslash, then text", "{\"name\":\"a\\\\u0007\"}", {});
        row("just past C0 and C1", "{\"a\":\" \\u00a0\xc2\xa0~\"}", {});
        row("numbers, literals, nesting", "{\"entry\":{\"x\":0.5,\"ok\":[true,null,\"fine\"]}}",
            {});

        row("lone high surrogate", "{\"name\":\"a\\ud800b\"}", u"name"_s);
        row("high surrogate, then no low", "{\"name\":\"\\ud800\\u0041\"}", u"name"_s);
        row("lone low surrogate", "{\"name\":\"\\udc00\"}", u"name"_s);
        row("pair reversed", "{\"name\":\"\\udc00\\ud800\"}", u"name"_s);
        row("escaped NUL", "{\"name\":\"\\u0000\"}", u"name"_s);
        row("last C0", "{\"name\":\"\\u001F\"}", u"name"_s);
        row("raw DEL", "{\"name\":\"\x7f\"}", u"name"_s);
        row("raw NEL", "{\"name\":\"\xc2\x85\"}", u"name"_s);
        row("last C1", "{\"name\":\"\\u009f\"}", u"name"_s);
        row("stray byte", "{\"name\":\"\xff\"}", u"name"_s);
        row("lone continuation byte", "{\"name\":\"\x80\"}", u"name"_s);
        row("overlong slash", "{\"name\":\"\xc0\xaf\"}", u"name"_s);
        row("encoded surrogate", "{\"name\":\"\xed\xa0\x80\"}", u"name"_s);
        row("above U+10FFFF", "{\"name\":\"\xf4\x90\x80\x80\"}", u"name"_s);
        row("cut-off sequence", "{\"name\":\"\xe2\x82\"}", u"name"_s);

        row("first of several", "{\"a\":\"ok\",\"b\":\"\\u0007\",\"c\":\"\\u0085\"}", u"b"_s);
        row("after an escaped quote", "{\"a\":\"x\\\"y\",\"b\":\"\\u0007\"}", u"b"_s);
        row("deep inside a member", "{\"entry\":{\"list\":[1,{\"k\":\"\\u0085\"}]}}", u"entry"_s);
        row("member after a nested one", "{\"entry\":{\"k\":\"v\"},\"name\":\"\\u0001\"}",
            u"name"_s);
        row("escaped member name", "{\"na\\u006de\":\"\\u0007\"}", u"name"_s);
        row("bad key on top", "{\"n\\u0007\":1}", u"n\\u0007"_s);
        row("bad raw byte in a key on top", "{\"a\xff\":1}", u"a\\xff"_s);
        row("bad key inside a member", "{\"entry\":{\"\\ud800\":1}}", u"entry"_s);
    }

    void namesFirstUncleanMember()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, field);
        const std::optional<QString> found = TextCheck::uncleanField(body);
        QCOMPARE(found.has_value(), !field.isNull());
        if (found)
            QCOMPARE(*found, field);
    }

    void judgesText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("clean");
        QTest::newRow("pair") << u"a\U0001F3C0b"_s << true;
        QTest::newRow("no-break space") << u"a\u00a0b"_s << true;
        QTest::newRow("lone high") << u"a"_s + QChar(0xd83c) + u"b"_s << false;
        QTest::newRow("BEL") << u"a\u0007"_s << false;
        QTest::newRow("DEL") << u"a\u007f"_s << false;
        QTest::newRow("NEL") << u"a\u0085"_s << false;
    }

    void judgesText()
    {
        QFETCH(QString, text);
        QFETCH(bool, clean);
        QCOMPARE(TextCheck::isCleanText(text), clean);
    }
};

QTEST_GUILESS_MAIN(TextCheckTest)
#include "TextCheckTest.moc"
