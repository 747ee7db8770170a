#include "core/store/LexiconSnapshot.h"

#include "core/async/BulkPool.h"
#include "core/net/Json.h"
#include "core/store/JsonText.h"
#include "core/text/ValidUtf16.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtConcurrent>

#include <algorithm>
#include <thread>

namespace {

const QString kRules = QStringLiteral("rules");
const QString kHotwords = QStringLiteral("hotwords");

// A snapshot read out of its document with the rules' texts still in one buffer: their strings
// are made once the document is gone, one after the other, on a thread of their own (see
// decodeWith), so that a lexicon of a hundred thousand rules does not leave its parse's memory in
// pieces between them for as long as it lives.
struct Unpacked
{
    LexiconRules rules; // every rule without its texts, in blocks that never grow by copying
    WordList hotwords;
    WordList ruleTexts; // wrong, right and source of each rule, in turn
};

// A rule without its texts, which go to ruleTexts; false for a value that is no rule.
bool unpackRule(const QJsonValue& value, Unpacked& unpacked)
{
    std::optional<LearnedRule> rule = LearnedRule::fromJson(value);
    if (!rule)
        return false;
    for (QString* text : {&rule->wrong, &rule->right, &rule->source}) {
        unpacked.ruleTexts.append(*text);
        *text = QString();
    }
    unpacked.rules.append(std::move(*rule));
    return true;
}

std::optional<Unpacked> unpack(const QJsonDocument& document, const QJsonParseError& error)
{
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QJsonValue rules = object.value(kRules);
    const QJsonValue hotwords = object.value(kHotwords);
    if (!rules.isArray() || !hotwords.isArray())
        return std::nullopt;

    Unpacked unpacked;
    const QJsonArray ruleArray = rules.toArray();
    for (const QJsonValue& value : ruleArray) {
        if (!unpackRule(value, unpacked))
            return std::nullopt;
    }
    const QJsonArray hotwordArray = hotwords.toArray();
    for (const QJsonValue& value : hotwordArray) {
        if (!value.isString())
            return std::nullopt;
        unpacked.hotwords.append(value.toString());
    }
    return unpacked;
}

// The end of the JSON string or object that starts at from, or -1 when bytes end first.
qsizetype valueEnd(QByteArrayView bytes, qsizetype from)
{
    int depth = 0;
    bool inString = false;
    for (qsizetype i = from; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if (c == '}' || c == ']') {
            --depth;
        }
        if (!inString && depth == 0)
            return i + 1;
    }
    return -1;
}

// Reads the array whose first element starts at at, up to its closing bracket, in pieces of a few
// thousand elements, each parsed as an array of its own and handed to take. Leaves at after the
// bracket. False for anything but compact JSON, and for what a piece's parse or take refuses.
template <typename Parse, typename Take> bool readPieces(QByteArrayView bytes, qsizetype& at, Parse parse, Take take)
{
    constexpr int kPieceElements = 2048;
    if (at < bytes.size() && bytes[at] == ']') {
        ++at;
        return true;
    }
    qsizetype start = at;
    for (int count = 1;; ++count) {
        const qsizetype end = valueEnd(bytes, at);
        if (end < 0 || end >= bytes.size() || (bytes[end] != ',' && bytes[end] != ']'))
            return false;
        at = end + 1;
        if (bytes[end] == ']' || count == kPieceElements) {
            QByteArray piece;
            piece.reserve(end - start + 2);
            piece.append('[').append(bytes.sliced(start, end - start)).append(']');
            QJsonParseError error;
            const QJsonDocument document = parse(piece, &error);
            if (error.error != QJsonParseError::NoError || !document.isArray())
                return false;
            const QJsonArray array = document.array();
            for (const QJsonValue& value : array) {
                if (!take(value))
                    return false;
            }
            if (bytes[end] == ']')
                return true;
            start = at;
            count = 0;
        }
    }
}

// The document as encode() writes it, read a few thousand elements at a time: the tree of the
// whole document is three times its size, and a lexicon of a hundred thousand rules would hold it
// all at once beside the file and what is read out of it. Nothing for any other document, which
// the whole document's parse reads, and for what that parse would refuse.
template <typename Parse> std::optional<Unpacked> unpackInPieces(QByteArrayView bytes, Parse parse)
{
    constexpr QByteArrayView kHead = "{\"hotwords\":[";
    constexpr QByteArrayView kBetween = ",\"rules\":[";
    constexpr QByteArrayView kTail = "}";
    if (!bytes.startsWith(kHead))
        return std::nullopt;
    Unpacked unpacked;
    qsizetype at = kHead.size();
    const bool hotwordsRead = readPieces(bytes, at, parse, [&unpacked](const QJsonValue& value) {
        if (!value.isString())
            return false;
        unpacked.hotwords.append(value.toString());
        return true;
    });
    if (!hotwordsRead || !bytes.sliced(at).startsWith(kBetween))
        return std::nullopt;
    at += kBetween.size();
    const bool rulesRead =
        readPieces(bytes, at, parse, [&unpacked](const QJsonValue& value) { return unpackRule(value, unpacked); });
    if (!rulesRead || bytes.sliced(at) != kTail)
        return std::nullopt;
    return unpacked;
}

// Gives the rules their texts; the few distinct sources are shared.
LexiconSnapshot packed(Unpacked unpacked)
{
    constexpr qsizetype kSharedSources = 16;
    QStringList sources;
    LexiconSnapshot snapshot;
    snapshot.hotwords = std::move(unpacked.hotwords);
    // The rules are given their texts where they are, not copied into a list of their own.
    snapshot.rules = std::move(unpacked.rules);
    const WordList& texts = unpacked.ruleTexts;
    for (qsizetype i = 0; i < snapshot.rules.size(); ++i) {
        LearnedRule& rule = snapshot.rules.change(i);
        rule.wrong = texts.at(3 * i).toString();
        rule.right = texts.at(3 * i + 1).toString();
        const QStringView source = texts.at(3 * i + 2);
        const auto shared = std::find(sources.cbegin(), sources.cend(), source);
        if (shared != sources.cend()) {
            rule.source = *shared;
        } else {
            rule.source = source.toString();
            if (sources.size() < kSharedSources)
                sources.append(rule.source);
        }
    }
    return snapshot;
}

// Reads the document that parse makes of bytes, and lets it and bytes go before the rules get their
// texts.
template <typename Parse> std::optional<LexiconSnapshot> decodeWith(QByteArray bytes, Parse parse)
{
    std::optional<Unpacked> unpacked = unpackInPieces(bytes, parse);
    if (!unpacked) {
        QJsonParseError error;
        const QJsonDocument document = parse(bytes, &error);
        unpacked = unpack(document, error);
    }
    bytes = QByteArray();
    if (!unpacked)
        return std::nullopt;
    // The parse left this thread's pool full of holes, and the C library would put each small text
    // in one, pinning a page of freed memory for every few rules. A thread started for them takes its
    // memory from a pool of its own, where they lie together: 100,000 rules hold 50 MB less.
    std::optional<LexiconSnapshot> snapshot;
    std::thread maker([&snapshot, &unpacked] { snapshot = packed(std::move(*unpacked)); });
    maker.join();
    return snapshot;
}

} // namespace

namespace {

// Hands encode()'s text to take in order, piece by piece, so that neither the whole document nor
// all of its pieces need be held at once.
template <typename Take> void encodeInPieces(const LexiconSnapshot& snapshot, Take take)
{
    const auto encodeBlock = [](const QList<LearnedRule>& block) {
        QByteArray text;
        for (qsizetype i = 0; i < block.size(); ++i) {
            if (i > 0)
                text.append(',');
            block[i].appendJson(text);
        }
        return text;
    };
    constexpr qsizetype kPieceBytes = 64 * 1024;
    // The keys in the order the JSON encoder sorts them.
    QByteArray piece("{\"hotwords\":[");
    for (qsizetype i = 0; i < snapshot.hotwords.size(); ++i) {
        if (i > 0)
            piece.append(',');
        JsonText::appendString(piece, snapshot.hotwords.at(i));
        if (piece.size() >= kPieceBytes) {
            take(piece);
            piece.clear();
        }
    }
    piece.append("],\"rules\":[");
    take(piece);
    // A save follows every dictation that hit a rule: tens of thousands of rules are encoded block
    // by block on the bulk pool's threads, the calling one among them, never on the global pool,
    // where a frame is painted. They read this snapshot only, which nothing changes while it is
    // encoded: its blocks are shared with the lexicon, which copies one before changing it. A few
    // blocks at a time, each round's text handed on and let go before the next.
    constexpr qsizetype kRoundBlocks = 16;
    const QList<QList<LearnedRule>>& blocks = snapshot.rules.blocks();
    for (qsizetype first = 0; first < blocks.size(); first += kRoundBlocks) {
        const QList<QList<LearnedRule>> round = blocks.mid(first, kRoundBlocks);
        const QList<QByteArray> slices =
            round.size() > 1 ? QtConcurrent::blockingMapped<QList<QByteArray>>(&bulkPool(), round, encodeBlock)
                             : QList<QByteArray>{encodeBlock(round.first())};
        for (qsizetype i = 0; i < slices.size(); ++i) {
            if (first + i > 0)
                take(QByteArray(","));
            take(slices[i]);
        }
    }
    take(QByteArray("]}"));
}

} // namespace

QByteArray LexiconSnapshot::encode() const
{
    QByteArray out;
    encodeInPieces(*this, [&out](const QByteArray& piece) { out.append(piece); });
    return out;
}

qsizetype LexiconSnapshot::encodedSize() const
{
    qsizetype size = 0;
    encodeInPieces(*this, [&size](const QByteArray& piece) { size += piece.size(); });
    return size;
}

std::optional<LexiconSnapshot> LexiconSnapshot::decode(QByteArray bytes)
{
    return decodeWith(std::move(bytes), &ValidUtf16::fromJson);
}

std::optional<LexiconSnapshot> LexiconSnapshot::decodeServiceText(QByteArray bytes)
{
    return decodeWith(std::move(bytes), &serviceJson);
}
