#include "DatReader.h"

#include <QXmlStreamReader>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace DatFile {

namespace {

using Code = EngineError::Code;

constexpr std::int64_t Piece = 1 << 20;
// Deeper than any DAT nests; a file nesting deeper is not read.
constexpr std::size_t Deepest = 256;

bool Space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The file a piece at a time: [at, end) is what has been read and not yet
// taken; a reader moves at as it takes, and asks for More when what it
// needs goes past end.
class Window {
public:
    explicit Window(const SafeFile::Source& source) : source_(source) {}
    const char* at = nullptr;
    const char* end = nullptr;

    // Reads the next piece after what is kept; false at the file's end, or
    // when it cannot be read (Unreadable).
    bool More() {
        if (offset_ >= source_.Size())
            return false;
        const std::size_t kept = std::size_t(end - at);
        if (at) {
            lines_ += std::count(static_cast<const char*>(buffer_.data()), at, '\n');
            std::memmove(buffer_.data(), at, kept);
        }
        const std::int64_t n = std::min(Piece, source_.Size() - offset_);
        buffer_.resize(kept + std::size_t(n));
        if (!source_.ReadAt(offset_, buffer_.data() + kept, n)) {
            unreadable_ = true;
            return false;
        }
        offset_ += n;
        at = buffer_.data();
        end = at + buffer_.size();
        return true;
    }
    bool Unreadable() const { return unreadable_; }
    // The line of a place in what is kept, counting from 1.
    int LineOf(const char* p) const {
        return int(lines_ + std::count(static_cast<const char*>(buffer_.data()), p, '\n') + 1);
    }

private:
    const SafeFile::Source& source_;
    std::vector<char> buffer_;
    std::int64_t offset_ = 0;
    std::int64_t lines_ = 0;
    bool unreadable_ = false;
};

// Why a DAT cannot be read, and at which line.
struct Fault {
    int line = 0;
    QString why;
    bool Failed() const { return !why.isEmpty(); }
};

// Appends the UTF-8 of a code point.
void AppendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | c >> 6);
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | c >> 12);
        out += char(0x80 | (c >> 6 & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | c >> 18);
        out += char(0x80 | (c >> 12 & 0x3F));
        out += char(0x80 | (c >> 6 & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// The reference at text (just after its '&', up to its ';'): appended
// to out decoded; false when it is none XML knows without a DTD.
bool Reference(std::string_view ref, std::string* out) {
    static constexpr std::pair<std::string_view, char> Named[] = {
        {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& [name, c] : Named)
        if (ref == name) {
            if (out)
                *out += c;
            return true;
        }
    if (ref.size() < 2 || ref[0] != '#')
        return false;
    const bool hex = ref[1] == 'x';
    const std::string_view digits = ref.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 8)
        return false;
    std::uint32_t c = 0;
    for (const char d : digits) {
        const int v = d >= '0' && d <= '9'          ? d - '0'
                      : hex && d >= 'a' && d <= 'f' ? d - 'a' + 10
                      : hex && d >= 'A' && d <= 'F' ? d - 'A' + 10
                                                    : -1;
        if (v < 0 || v >= (hex ? 16 : 10))
            return false;
        c = c * (hex ? 16 : 10) + std::uint32_t(v);
    }
    const bool allowed = c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
                         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
    if (!allowed)
        return false;
    if (out)
        AppendUtf8(*out, c);
    return true;
}

// Whether every '&' of character data starts a reference XML knows.
bool References(std::string_view text) {
    for (std::size_t amp = text.find('&'); amp != std::string_view::npos;
         amp = text.find('&', amp + 1)) {
        const std::size_t semi = text.find(';', amp);
        if (semi == std::string_view::npos ||
            !Reference(text.substr(amp + 1, semi - amp - 1), nullptr))
            return false;
    }
    return true;
}

// An attribute's value as an XML reader gives it: references decoded, and
// a tab or line end a space. Into out when it needs decoding; false when
// a reference is not one.
bool AttributeValue(std::string_view raw, std::string* out, QByteArrayView* value) {
    if (std::none_of(raw.begin(), raw.end(),
                     [](char c) { return c == '&' || c == '\t' || c == '\n' || c == '\r'; })) {
        *value = QByteArrayView(raw.data(), qsizetype(raw.size()));
        return true;
    }
    out->clear();
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '&') {
            const std::size_t semi = raw.find(';', i);
            if (semi == std::string_view::npos || !Reference(raw.substr(i + 1, semi - i - 1), out))
                return false;
            i = semi;
        } else if (c == '\r') {
            *out += ' ';
            if (i + 1 < raw.size() && raw[i + 1] == '\n')
                ++i;
        } else {
            *out += c == '\t' || c == '\n' ? ' ' : c;
        }
    }
    *value = QByteArrayView(out->data(), qsizetype(out->size()));
    return true;
}

// Logiqx XML, read as a stream of tags: only the <game>, <machine> and <rom>
// elements' attributes are looked at, but the whole document must be
// well-formed.
class XmlReader {
public:
    XmlReader(Window& window, Entries& entries) : w_(window), entries_(entries) {}
    // The fault, if any; notDat when the root is not <datafile>.
    Fault Run(bool* notDat);

private:
    enum class Step { Done, Short, Bad };
    Step Construct(const char* p);
    Step Comment(const char* p, std::string_view end, std::size_t skip);
    Step Doctype(const char* p);
    Step EndTag(const char* p);
    Step StartTag(const char* p);
    Step Bad(const char* p, const char* why) {
        fault_ = {w_.LineOf(p), QString::fromLatin1(why)};
        return Step::Bad;
    }
    void Hand(std::string_view tag, bool empty);

    Window& w_;
    Entries& entries_;
    std::vector<std::string> open_; // the elements open, the root first
    bool rootSeen_ = false;
    bool notDat_ = false;
    Fault fault_;
    // The attributes of the tag read, as they stand in the file.
    std::vector<std::pair<std::string_view, std::string_view>> attributes_;
    std::string decoded_[7]; // the last for attributes not looked at
};

Fault XmlReader::Run(bool* notDat) {
    // A byte order mark is no text.
    if (std::string_view(w_.at, std::size_t(w_.end - w_.at)).substr(0, 3) == "\xEF\xBB\xBF")
        w_.at += 3;
    const char* p = w_.at;
    for (;;) {
        const char* lt = static_cast<const char*>(std::memchr(p, '<', std::size_t(w_.end - p)));
        if (!lt) {
            w_.at = p;
            if (w_.More()) {
                p = w_.at;
                continue;
            }
            if (w_.Unreadable())
                return {};
            lt = w_.end;
        }
        // The text before it.
        const std::string_view text(p, std::size_t(lt - p));
        if (open_.empty() ? !std::all_of(text.begin(), text.end(), Space) : !References(text))
            return {w_.LineOf(p), open_.empty()
                                      ? QStringLiteral("text outside the document's element")
                                      : QStringLiteral("a reference that is not one")};
        if (lt == w_.end) {
            if (!rootSeen_ || !open_.empty())
                return {w_.LineOf(lt), QStringLiteral("the document ends before it is complete")};
            return {};
        }
        w_.at = lt;
        for (;;) {
            const Step step = Construct(w_.at);
            if (step == Step::Bad) {
                *notDat = notDat_;
                return fault_;
            }
            if (step == Step::Done)
                break;
            if (!w_.More()) {
                if (w_.Unreadable())
                    return {};
                return {w_.LineOf(w_.at), QStringLiteral("the document ends inside a tag")};
            }
        }
        p = w_.at;
    }
}

// The construct at p ('<' ...): taken (at moves past it), too short for
// what is read, or bad.
XmlReader::Step XmlReader::Construct(const char* p) {
    const std::string_view s(p, std::size_t(w_.end - p));
    if (s.size() < 2)
        return Step::Short;
    if (s[1] == '?')
        return Comment(p, "?>", 2);
    if (s[1] == '/')
        return EndTag(p);
    if (s[1] != '!')
        return StartTag(p);
    if (s.size() < 9)
        return Step::Short;
    if (s.substr(0, 4) == "<!--")
        return Comment(p, "-->", 4);
    if (s.substr(0, 9) == "<![CDATA[")
        return open_.empty() ? Bad(p, "character data outside the document's element")
                             : Comment(p, "]]>", 9);
    if (s.substr(0, 9) == "<!DOCTYPE")
        return rootSeen_ ? Bad(p, "a document type inside the document") : Doctype(p);
    return Bad(p, "an unknown construct");
}

// A construct that runs to the text end: a comment, an instruction,
// character data.
XmlReader::Step XmlReader::Comment(const char* p, std::string_view end, std::size_t skip) {
    const std::string_view s(p, std::size_t(w_.end - p));
    const std::size_t found = s.find(end, skip);
    if (found == std::string_view::npos)
        return Step::Short;
    w_.at = p + found + end.size();
    return Step::Done;
}

XmlReader::Step XmlReader::Doctype(const char* p) {
    const std::string_view s(p, std::size_t(w_.end - p));
    char quote = 0;
    int brackets = 0;
    for (std::size_t i = 9; i < s.size(); ++i) {
        const char c = s[i];
        if (quote) {
            quote = c == quote ? 0 : quote;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '[') {
            ++brackets;
        } else if (c == ']') {
            --brackets;
        } else if (c == '>' && brackets <= 0) {
            w_.at = p + i + 1;
            return Step::Done;
        }
    }
    return Step::Short;
}

bool NameByte(char c) {
    return !Space(c) && c != '/' && c != '>' && c != '=' && c != '<' && c != '"' && c != '\'' &&
           c != '&' && (static_cast<unsigned char>(c) >= 0x20);
}

XmlReader::Step XmlReader::EndTag(const char* p) {
    const char* q = p + 2;
    const char* const name = q;
    while (q < w_.end && NameByte(*q))
        ++q;
    const std::string_view tag(name, std::size_t(q - name));
    while (q < w_.end && Space(*q))
        ++q;
    if (q == w_.end)
        return Step::Short;
    if (*q != '>' || tag.empty())
        return Bad(p, "an end tag that is not well-formed");
    if (open_.empty() || open_.back() != tag)
        return Bad(p, "an end tag that does not close the element open");
    open_.pop_back();
    if (tag == "game" || tag == "machine")
        entries_.GameEnd();
    w_.at = q + 1;
    return Step::Done;
}

XmlReader::Step XmlReader::StartTag(const char* p) {
    const char* q = p + 1;
    const char* const name = q;
    while (q < w_.end && NameByte(*q))
        ++q;
    const std::string_view tag(name, std::size_t(q - name));
    if (q == w_.end)
        return Step::Short;
    if (tag.empty())
        return Bad(p, "a tag with no name");
    attributes_.clear();
    for (;;) {
        const char* const before = q;
        while (q < w_.end && Space(*q))
            ++q;
        if (q == w_.end)
            return Step::Short;
        if (*q == '>' || *q == '/') {
            if (*q == '/' && (q + 1 == w_.end))
                return Step::Short;
            if (*q == '/' && q[1] != '>')
                return Bad(p, "a tag that is not well-formed");
            const bool empty = *q == '/';
            w_.at = q + (empty ? 2 : 1);
            if (open_.empty()) {
                if (rootSeen_)
                    return Bad(p, "a second element outside the document's element");
                rootSeen_ = true;
                if (tag != "datafile")
                    return notDat_ = true, Bad(p, "not a DAT file");
            }
            if (!empty) {
                if (open_.size() == Deepest)
                    return Bad(p, "elements nested too deep");
                open_.emplace_back(tag);
            }
            Hand(tag, empty);
            return fault_.Failed() ? Step::Bad : Step::Done;
        }
        if (q == before)
            return Bad(p, "attributes not apart");
        const char* const key = q;
        while (q < w_.end && NameByte(*q))
            ++q;
        const std::string_view attribute(key, std::size_t(q - key));
        while (q < w_.end && Space(*q))
            ++q;
        if (q == w_.end)
            return Step::Short;
        if (attribute.empty() || *q != '=')
            return Bad(p, "an attribute that is not well-formed");
        ++q;
        while (q < w_.end && Space(*q))
            ++q;
        if (q == w_.end)
            return Step::Short;
        if (*q != '"' && *q != '\'')
            return Bad(p, "an attribute value not in quotes");
        const char quote = *q++;
        const char* const value = q;
        while (q < w_.end && *q != quote && *q != '<')
            ++q;
        if (q == w_.end)
            return Step::Short;
        if (*q == '<')
            return Bad(p, "a '<' in an attribute value");
        attributes_.emplace_back(attribute, std::string_view(value, std::size_t(q - value)));
        ++q;
    }
}

// A tag's entries handed on.
void XmlReader::Hand(std::string_view tag, bool empty) {
    const bool game = tag == "game" || tag == "machine";
    if (!game && tag != "rom") {
        for (const auto& attribute : attributes_)
            if (!References(attribute.second))
                fault_ = {w_.LineOf(w_.at), QStringLiteral("a reference that is not one")};
        return;
    }
    RomFields fields;
    static constexpr std::string_view Keys[] = {"name", "size", "crc", "md5", "sha1", "status"};
    QByteArrayView* const into[] = {&fields.name, &fields.size, &fields.crc,
                                    &fields.md5,  &fields.sha1, &fields.status};
    for (const auto& [key, raw] : attributes_) {
        const auto at = std::find(std::begin(Keys), std::end(Keys), key);
        const std::size_t i = std::size_t(at - std::begin(Keys));
        QByteArrayView ignored;
        if (!AttributeValue(raw, &decoded_[i], at == std::end(Keys) ? &ignored : into[i])) {
            fault_ = {w_.LineOf(w_.at), QStringLiteral("a reference that is not one")};
            return;
        }
    }
    if (game) {
        entries_.Game(fields.name);
        if (empty)
            entries_.GameEnd();
    } else {
        entries_.Rom(fields);
    }
}

// ClrMamePro's text form: blocks of "key value" pairs in parentheses, a
// value a word, a quoted string or a block of its own.
class TextReader {
public:
    TextReader(Window& window, Entries& entries) : w_(window), entries_(entries) {}
    Fault Run();

private:
    enum class Kind { End, Open, Close, Word };
    // The next token; its text in word_. End at the file's end.
    Kind Next();
    Fault Block(bool game, bool header);
    void Rom();

    Window& w_;
    Entries& entries_;
    std::string word_;
    Fault fault_;
    // A game's ROMs, kept until its name is known.
    struct KeptRom {
        std::string fields[6];
    };
    std::vector<KeptRom> roms_;
};

TextReader::Kind TextReader::Next() {
    for (;;) {
        while (w_.at < w_.end && Space(*w_.at))
            ++w_.at;
        if (w_.at == w_.end) {
            if (w_.More())
                continue;
            return Kind::End;
        }
        const char c = *w_.at;
        if (c == '(' || c == ')') {
            ++w_.at;
            return c == '(' ? Kind::Open : Kind::Close;
        }
        const bool quoted = c == '"';
        const char* q = w_.at + (quoted ? 1 : 0);
        while (q < w_.end && (quoted ? *q != '"' : !Space(*q) && *q != '(' && *q != ')'))
            ++q;
        if (q == w_.end && w_.More())
            continue;
        if (quoted && q == w_.end) {
            fault_ = {w_.LineOf(w_.at), QStringLiteral("a quoted text that does not end")};
            return Kind::End;
        }
        word_.assign(w_.at + (quoted ? 1 : 0), q);
        w_.at = q + (quoted ? 1 : 0);
        return Kind::Word;
    }
}

Fault TextReader::Run() {
    for (;;) {
        const Kind kind = Next();
        if (fault_.Failed() || kind == Kind::End)
            return fault_;
        if (kind != Kind::Word)
            return {w_.LineOf(w_.at), QStringLiteral("a parenthesis where a block's name belongs")};
        const bool game = word_ == "game" || word_ == "machine" || word_ == "resource";
        if (Next() != Kind::Open)
            return fault_.Failed() ? fault_
                                   : Fault{w_.LineOf(w_.at), QStringLiteral("a block's name not "
                                                                            "followed by '('")};
        if (const Fault fault = Block(game, word_ == "clrmamepro"); fault.Failed())
            return fault;
    }
}

// The pairs of a block, up to its ')': a game's name and ROMs handed on.
Fault TextReader::Block(bool game, bool header) {
    std::string name;
    roms_.clear();
    int depth = 1; // of blocks inside a game or skipped
    std::string key;
    for (;;) {
        const Kind kind = Next();
        if (fault_.Failed())
            return fault_;
        if (kind == Kind::End)
            return {w_.LineOf(w_.at), QStringLiteral("the file ends inside a block")};
        if (kind == Kind::Close) {
            if (--depth == 0)
                break;
            continue;
        }
        if (kind == Kind::Open) {
            if (depth == 1 && game && key == "rom") {
                Rom();
                if (fault_.Failed())
                    return fault_;
            } else {
                ++depth;
            }
            key.clear();
            continue;
        }
        if (depth == 1 && key.empty()) {
            key = word_;
            continue;
        }
        if (depth == 1 && key == "name")
            name = word_;
        if (depth == 1 && key == "name" && header)
            entries_.SetName(QByteArrayView(name.data(), qsizetype(name.size())));
        key.clear();
    }
    if (game) {
        entries_.Game(QByteArrayView(name.data(), qsizetype(name.size())));
        for (const KeptRom& rom : roms_) {
            auto view = [&](int i) {
                return QByteArrayView(rom.fields[i].data(), qsizetype(rom.fields[i].size()));
            };
            entries_.Rom({view(0), view(1), view(2), view(3), view(4), view(5)});
        }
        entries_.GameEnd();
    }
    return {};
}

// A ROM's block, after its '('.
void TextReader::Rom() {
    static constexpr std::string_view Keys[] = {"name", "size", "crc", "md5", "sha1", "status"};
    KeptRom rom;
    std::string key;
    int depth = 1;
    for (;;) {
        const Kind kind = Next();
        if (fault_.Failed())
            return;
        if (kind == Kind::End) {
            fault_ = {w_.LineOf(w_.at), QStringLiteral("the file ends inside a ROM's block")};
            return;
        }
        if (kind == Kind::Close && --depth == 0)
            break;
        if (kind != Kind::Word) {
            depth += kind == Kind::Open;
            key.clear();
            continue;
        }
        if (key.empty()) {
            key = word_;
            continue;
        }
        if (key == "flags")
            key = "status";
        const auto at = std::find(std::begin(Keys), std::end(Keys), key);
        if (depth == 1 && at != std::end(Keys))
            rom.fields[at - std::begin(Keys)] = word_;
        key.clear();
    }
    roms_.push_back(std::move(rom));
}

// Qt's own words for where an XML document is not well-formed, when it
// finds fault with it.
QString QtFault(const SafeFile::Source& source) {
    QXmlStreamReader xml;
    QByteArray piece;
    for (std::int64_t offset = 0;;) {
        xml.readNext();
        if (xml.error() != QXmlStreamReader::PrematureEndOfDocumentError) {
            if (xml.hasError())
                break;
            if (xml.atEnd())
                return QString();
            continue;
        }
        if (offset >= source.Size())
            break;
        const std::int64_t n = std::min(Piece, source.Size() - offset);
        piece.resize(qsizetype(n));
        if (!source.ReadAt(offset, piece.data(), n))
            return QString();
        offset += n;
        xml.addData(piece);
    }
    return QStringLiteral("line %1: %2").arg(xml.lineNumber()).arg(xml.errorString());
}

QByteArrayView Trimmed(QByteArrayView head) {
    if (head.startsWith("\xEF\xBB\xBF"))
        head = head.sliced(3);
    while (!head.isEmpty() && Space(head.front()))
        head = head.sliced(1);
    return head;
}

} // namespace

bool SyntaxOf(QByteArrayView head, Syntax* syntax) {
    head = Trimmed(head);
    for (const char* block : {"clrmamepro", "game", "machine", "resource"}) {
        QByteArrayView rest = head;
        if (!rest.startsWith(block))
            continue;
        rest = Trimmed(rest.sliced(qsizetype(std::strlen(block))));
        if (rest.startsWith('(')) {
            *syntax = Syntax::ClrMamePro;
            return true;
        }
    }
    *syntax = Syntax::Xml;
    return QByteArray::fromRawData(head.data(), head.size()).contains("<datafile");
}

EngineError Read(const SafeFile::Source& source, const QString& path, Entries& entries,
                 Syntax* form) {
    Window window(source);
    Syntax& syntax = *form;
    syntax = Syntax::Xml;
    bool notDat = false;
    Fault fault;
    if (!window.More()) {
        fault = {1, QStringLiteral("the file is empty")};
    } else if (SyntaxOf(
                   QByteArrayView(window.at, std::min<qsizetype>(4096, window.end - window.at)),
                   &syntax),
               syntax == Syntax::ClrMamePro) {
        TextReader reader(window, entries);
        fault = reader.Run();
    } else {
        XmlReader reader(window, entries);
        fault = reader.Run(&notDat);
    }
    if (window.Unreadable())
        return {Code::DatUnreadable, QStringLiteral("the file cannot be read"), path};
    if (notDat)
        return {Code::NotADat, QString(), path};
    if (!fault.Failed())
        return {};
    const QString qt = syntax == Syntax::Xml ? QtFault(source) : QString();
    return {Code::DatMalformed,
            qt.isEmpty() ? QStringLiteral("line %1: %2").arg(fault.line).arg(fault.why) : qt, path};
}

} // namespace DatFile
