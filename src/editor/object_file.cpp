#include "editor/object_file.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "image/codecs/png_chunks.h"

namespace glimmora {

namespace {

// "GLIMMORA" then the version; the pixel hash, the length of the objects' text, the text, the packed
// difference.
constexpr char kMagic[8] = {'G', 'L', 'I', 'M', 'M', 'O', 'R', 'A'};
constexpr uint32_t kVersion = 1;
constexpr size_t kHeader = 8 + 4 + 8 + 4;
// Bounds a hand-made chunk must keep to: nothing the editor makes comes near them.
constexpr int kMaxCoordinate = 1 << 24;
constexpr qsizetype kMaxText = 1 << 20;
constexpr qsizetype kMaxPoints = 1 << 20;
constexpr int kMaxStampSide = 4096;

const char* const kKindNames[] = {"line",  "text",      "shape",   "arrow", "highlight",
                                  "stamp", "redaction", "counter", "pen"};

void Put(std::string& out, uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
uint64_t Get(const std::string& in, size_t at, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v = v << 8 | static_cast<uint8_t>(in[at + static_cast<size_t>(i)]);
    return v;
}

QJsonArray Box(int a, int b, int c, int d) {
    return QJsonArray{a, b, c, d};
}

QJsonObject Encode(const OverlayObject& o) {
    QJsonObject j;
    j["kind"] = QString::fromLatin1(kKindNames[o.kind]);
    j["transparency"] = o.transparency;
    j["shadow"] = o.shadow;
    const ObjectGeometry g = GetGeometry(o);
    j["geometry"] = Box(g.a, g.b, g.c, g.d);
    if (auto* x = dynamic_cast<const LineObject*>(&o)) {
        j["width"] = x->width;
        j["colour"] = static_cast<qint64>(x->colour);
        j["lineStyle"] = x->lineStyle;
    } else if (auto* x = dynamic_cast<const TextObject*>(&o)) {
        j["text"] = x->text;
        j["font"] = x->fontName;
        j["fontSize"] = x->fontSize;
        j["textColour"] = static_cast<qint64>(x->textColour);
        j["backColour"] = static_cast<qint64>(x->backColour);
        j["alignment"] = x->alignment;
        j["bold"] = x->bold;
        j["italic"] = x->italic;
        j["underline"] = x->underline;
        j["boxStyle"] = x->boxStyle;
    } else if (auto* x = dynamic_cast<const ShapeObject*>(&o)) {
        j["borderColour"] = static_cast<qint64>(x->borderColour);
        j["backColour"] = static_cast<qint64>(x->backColour);
        j["shape"] = x->shape;
        j["width"] = x->width;
    } else if (auto* x = dynamic_cast<const ArrowObject*>(&o)) {
        j["width"] = x->width;
        j["colour"] = static_cast<qint64>(x->colour);
        j["arrowStyle"] = x->arrowStyle;
    } else if (auto* x = dynamic_cast<const HighlightObject*>(&o)) {
        j["colour"] = static_cast<qint64>(x->colour);
    } else if (auto* x = dynamic_cast<const StampObject*>(&o)) {
        j["stampNumber"] = x->stampNumber;
        Image pixels = x->stampImage;
        if (pixels.IsValid() && pixels.ConvertDepth(32)) {
            QByteArray bytes;
            for (int y = 0; y < pixels.Height(); ++y)
                bytes.append(reinterpret_cast<const char*>(pixels.Row(y)),
                             static_cast<qsizetype>(pixels.Width()) * 4);
            j["stampSize"] = QJsonArray{pixels.Width(), pixels.Height()};
            j["stampPixels"] = QString::fromLatin1(bytes.toBase64());
        }
    } else if (auto* x = dynamic_cast<const CounterObject*>(&o)) {
        j["number"] = x->number;
        j["colour"] = static_cast<qint64>(x->colour);
        j["shape"] = x->shape;
    } else if (auto* x = dynamic_cast<const PenObject*>(&o)) {
        QJsonArray points;
        for (const QPoint& p : x->points) points.append(QJsonArray{p.x(), p.y()});
        j["points"] = points;
        j["width"] = x->width;
        j["colour"] = static_cast<qint64>(x->colour);
        j["marker"] = x->marker;
    }
    return j;
}

// Reads every field with its bounds; the first one out of them makes the whole object unreadable.
class Fields {
  public:
    explicit Fields(const QJsonObject& j) : j_(j) {}
    int Int(const char* name, int low, int high) {
        const QJsonValue v = j_.value(QLatin1String(name));
        const double d = v.toDouble(-1e300);
        if (!v.isDouble() || d != static_cast<double>(static_cast<qint64>(d)) || d < low || d > high) {
            ok_ = false;
            return low;
        }
        return static_cast<int>(d);
    }
    ColorRef Colour(const char* name) { return static_cast<ColorRef>(Int(name, 0, 0xFFFFFF)); }
    QString Text(const char* name) {
        const QJsonValue v = j_.value(QLatin1String(name));
        if (!v.isString() || v.toString().size() > kMaxText) ok_ = false;
        return v.toString();
    }
    QJsonArray Array(const char* name, qsizetype most) {
        const QJsonValue v = j_.value(QLatin1String(name));
        if (!v.isArray() || v.toArray().size() > most) ok_ = false;
        return v.toArray();
    }
    bool ok() const { return ok_; }
    void Fail() { ok_ = false; }

  private:
    const QJsonObject& j_;
    bool ok_ = true;
};

std::unique_ptr<OverlayObject> Decode(const QJsonObject& j) {
    const QString kind = j.value(QLatin1String("kind")).toString();
    int k = -1;
    for (int i = 0; i < static_cast<int>(std::size(kKindNames)); ++i)
        if (kind == QLatin1String(kKindNames[i])) k = i;
    // A redaction never comes back: its cover is in the pixels, what it hid is nowhere.
    if (k < 0 || k == kRedactObject) return nullptr;
    Fields f(j);
    std::unique_ptr<OverlayObject> o;
    switch (k) {
        case kLineObject: {
            auto x = std::make_unique<LineObject>();
            x->width = f.Int("width", 1, 200);
            x->colour = f.Colour("colour");
            x->lineStyle = f.Int("lineStyle", 0, 2);
            o = std::move(x);
            break;
        }
        case kTextObject: {
            auto x = std::make_unique<TextObject>();
            x->text = f.Text("text");
            x->fontName = f.Text("font");
            x->fontSize = f.Int("fontSize", 1, 1000);
            x->textColour = f.Colour("textColour");
            x->backColour = f.Colour("backColour");
            x->alignment = f.Int("alignment", 0, 2);
            x->bold = f.Int("bold", 0, 1);
            x->italic = f.Int("italic", 0, 1);
            x->underline = f.Int("underline", 0, 1);
            x->boxStyle = f.Int("boxStyle", 0, 1);
            o = std::move(x);
            break;
        }
        case kShapeObject: {
            auto x = std::make_unique<ShapeObject>();
            x->borderColour = f.Colour("borderColour");
            x->backColour = f.Colour("backColour");
            x->shape = f.Int("shape", 0, 3);
            x->width = f.Int("width", 1, 200);
            o = std::move(x);
            break;
        }
        case kArrowObject: {
            auto x = std::make_unique<ArrowObject>();
            x->width = f.Int("width", 1, 200);
            x->colour = f.Colour("colour");
            x->arrowStyle = f.Int("arrowStyle", 0, 1);
            o = std::move(x);
            break;
        }
        case kHighlightObject: {
            auto x = std::make_unique<HighlightObject>();
            x->colour = f.Colour("colour");
            o = std::move(x);
            break;
        }
        case kStampObject: {
            auto x = std::make_unique<StampObject>();
            x->stampNumber = f.Int("stampNumber", 0, 1 << 20);
            if (j.contains(QLatin1String("stampPixels"))) {
                const QJsonArray size = f.Array("stampSize", 2);
                const int w = size.at(0).toInt(0), h = size.at(1).toInt(0);
                const std::string bytes = QByteArray::fromBase64(f.Text("stampPixels").toLatin1(),
                                                                 QByteArray::AbortOnBase64DecodingErrors)
                                              .toStdString();
                const size_t row = static_cast<size_t>(std::max(w, 0)) * 4;
                if (w < 1 || h < 1 || w > kMaxStampSide || h > kMaxStampSide ||
                    bytes.size() != row * static_cast<size_t>(h) || !x->stampImage.Create(w, h, 32)) {
                    f.Fail();
                } else {
                    for (int y = 0; y < h; ++y)
                        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(row * static_cast<size_t>(y)),
                                    row, x->stampImage.Row(y));
                }
            }
            o = std::move(x);
            break;
        }
        case kCounterObject: {
            auto x = std::make_unique<CounterObject>();
            x->number = f.Int("number", 0, 999999);
            x->colour = f.Colour("colour");
            x->shape = f.Int("shape", 0, 1);
            o = std::move(x);
            break;
        }
        case kPenObject: {
            auto x = std::make_unique<PenObject>();
            for (const QJsonValue v : f.Array("points", kMaxPoints)) {
                const QJsonArray p = v.toArray();
                const double px = p.at(0).toDouble(1e300), py = p.at(1).toDouble(1e300);
                if (p.size() != 2 || std::abs(px) > kMaxCoordinate || std::abs(py) > kMaxCoordinate) {
                    f.Fail();
                    break;
                }
                x->Add(QPoint(static_cast<int>(px), static_cast<int>(py)));
            }
            if (x->points.empty()) f.Fail();
            x->width = f.Int("width", 1, 400);
            x->colour = f.Colour("colour");
            x->marker = f.Int("marker", 0, 1);
            o = std::move(x);
            break;
        }
        default:
            return nullptr;
    }
    o->transparency = f.Int("transparency", 0, 100);
    o->shadow = f.Int("shadow", 0, 1);
    const QJsonArray g = f.Array("geometry", 4);
    int v[4] = {};
    for (int i = 0; i < 4; ++i) {
        const double d = g.at(i).toDouble(1e300);
        if (g.size() != 4 || std::abs(d) > kMaxCoordinate) f.Fail();
        v[i] = f.ok() ? static_cast<int>(d) : 0;
    }
    if (!f.ok()) return nullptr;
    // A stroke's box is its points' own; the stored one must agree.
    if (auto* pen = dynamic_cast<PenObject*>(o.get()))
        return pen->left == v[0] && pen->top == v[1] && pen->right == v[2] && pen->bottom == v[3]
                   ? std::move(o)
                   : nullptr;
    SetGeometry(*o, {v[0], v[1], v[2], v[3]});
    return o;
}

// The objects' text from a chunk whose header is whole, or false.
bool Split(const std::string& chunk, uint64_t& hash, QByteArray& text, std::string& packed) {
    if (chunk.size() < kHeader || std::memcmp(chunk.data(), kMagic, 8) != 0 || Get(chunk, 8, 4) != kVersion)
        return false;
    hash = Get(chunk, 12, 8);
    const uint64_t length = Get(chunk, 20, 4);
    if (length > chunk.size() - kHeader) return false;
    text = QByteArray(chunk.data() + kHeader, static_cast<qsizetype>(length));
    packed = chunk.substr(kHeader + length);
    return true;
}

bool Parse(const QByteArray& text, ObjectList& out) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray()) return false;
    ObjectList objects;
    for (const QJsonValue v : doc.array()) {
        std::unique_ptr<OverlayObject> o = Decode(v.toObject());
        if (!o) return false;
        objects.push_back(std::move(o));
    }
    out = std::move(objects);
    return true;
}

}  // namespace

std::string MakeObjectChunk(const Image& base, const Image& flat, const ObjectList& objects) {
    QJsonArray list;
    for (const auto& o : objects)
        if (o && o->kind != kRedactObject && o->kind >= 0 &&
            o->kind < static_cast<int>(std::size(kKindNames)))
            list.append(Encode(*o));
    if (list.isEmpty()) return {};
    const std::string packed = PackDifference(flat, base);
    if (packed.empty()) return {};
    const QByteArray text = QJsonDocument(list).toJson(QJsonDocument::Compact);
    std::string chunk(kMagic, 8);
    Put(chunk, kVersion, 4);
    Put(chunk, PixelHash(flat), 8);
    Put(chunk, static_cast<uint64_t>(text.size()), 4);
    chunk.append(text.constData(), static_cast<size_t>(text.size()));
    chunk += packed;
    return chunk;
}

bool ReadObjectChunk(const std::string& chunk, const Image& flat, Image& base, ObjectList& objects) {
    uint64_t hash = 0;
    QByteArray text;
    std::string packed;
    if (!Split(chunk, hash, text, packed) || hash != PixelHash(flat)) return false;
    ObjectList parsed;
    Image beneath;
    if (!Parse(text, parsed) || !UnpackDifference(packed, flat, beneath)) return false;
    base = std::move(beneath);
    objects = std::move(parsed);
    return true;
}

std::vector<std::string> DescribeObjectChunk(const std::string& chunk) {
    uint64_t hash = 0;
    QByteArray text;
    std::string packed;
    ObjectList objects;
    if (!Split(chunk, hash, text, packed) || !Parse(text, objects)) return {};
    std::vector<std::string> lines;
    for (const auto& o : objects) {
        const ObjectGeometry g = GetGeometry(*o);
        std::string line =
            QString::asprintf("%s %d,%d - %d,%d", kKindNames[o->kind], g.a, g.b, g.c, g.d).toStdString();
        if (auto* t = dynamic_cast<const TextObject*>(o.get()))
            line += " \"" + t->text.left(40).toStdString() + "\"";
        else if (auto* n = dynamic_cast<const CounterObject*>(o.get()))
            line += " number " + std::to_string(n->number);
        else if (auto* p = dynamic_cast<const PenObject*>(o.get()))
            line += std::string(p->marker ? " marker" : " pen") + ", " + std::to_string(p->points.size()) +
                    " points";
        lines.push_back(line);
    }
    return lines;
}

}  // namespace glimmora
