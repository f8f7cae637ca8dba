#include "analytics/collect/TallyJournal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <optional>

#include "analytics/collect/TallySession.h"
#include "analytics/support/TallyLog.h"
#include "foundation/Files.h"

using platform::Value;

namespace {

// Entry: a 32-bit length, then a tag, the time it was written and the
// tag's fields. Numbers are little-endian as the host writes them: the
// file never leaves the machine. A torn last entry is ignored.
constexpr char kBegin = 'B';
constexpr char kPage = 'P';
constexpr char kEvent = 'E';
constexpr char kEkv = 'K';
constexpr char kError = 'R';
constexpr char kTerminate = 'T';

template <class T>
void putRaw(std::string& out, T v) {
    out.append(reinterpret_cast<const char*>(&v), sizeof v);
}
void putString(std::string& out, const std::string& s) {
    putRaw(out, static_cast<uint32_t>(s.size()));
    out.append(s);
}

void putValue(std::string& out, const Value& v) {
    switch (v.type()) {
        case Value::Type::Bool:
            out.push_back('b');
            out.push_back(*v.asBool() ? 1 : 0);
            break;
        case Value::Type::Integer:
            out.push_back('i');
            putRaw(out, *v.asInteger());
            break;
        case Value::Type::Real:
        case Value::Type::Date:
            out.push_back('d');
            putRaw(out, *v.asReal());
            break;
        case Value::Type::String:
            out.push_back('s');
            putString(out, *v.asString());
            break;
        case Value::Type::Array:
            out.push_back('a');
            putRaw(out, static_cast<uint32_t>(v.asArray()->size()));
            for (const Value& item : *v.asArray()) putValue(out, item);
            break;
        case Value::Type::Dictionary:
            out.push_back('m');
            putRaw(out, static_cast<uint32_t>(v.asDictionary()->size()));
            for (const auto& [key, item] : *v.asDictionary()) {
                putString(out, key);
                putValue(out, item);
            }
            break;
        default:
            out.push_back('n');
            break;
    }
}

class Reader {
public:
    Reader(const char* data, size_t size) : p_(data), end_(data + size) {}
    bool ok() const { return ok_; }
    bool atEnd() const { return p_ == end_; }

    template <class T>
    T raw() {
        T v{};
        if (static_cast<size_t>(end_ - p_) < sizeof v) {
            ok_ = false;
            return v;
        }
        std::memcpy(&v, p_, sizeof v);
        p_ += sizeof v;
        return v;
    }
    // `n` bytes, or nothing (and not ok) when fewer remain.
    std::string bytes(size_t n) {
        if (!ok_ || static_cast<size_t>(end_ - p_) < n) {
            ok_ = false;
            return {};
        }
        std::string s(p_, n);
        p_ += n;
        return s;
    }
    std::string string() { return bytes(raw<uint32_t>()); }
    Value value(int depth = 0) {
        if (depth > 32) ok_ = false;
        const char tag = raw<char>();
        if (!ok_) return {};
        switch (tag) {
            case 'b':
                return Value(raw<char>() != 0);
            case 'i':
                return Value(raw<int64_t>());
            case 'd':
                return Value(raw<double>());
            case 's':
                return Value(string());
            case 'a': {
                Value::Array a;
                for (auto n = raw<uint32_t>(); ok_ && n > 0; --n) a.push_back(value(depth + 1));
                return Value(std::move(a));
            }
            case 'm': {
                Value::Dictionary d;
                for (auto n = raw<uint32_t>(); ok_ && n > 0; --n) {
                    std::string key = string();
                    d[std::move(key)] = value(depth + 1);
                }
                return Value(std::move(d));
            }
            case 'n':
                return {};
            default:
                ok_ = false;
                return {};
        }
    }

private:
    const char* p_;
    const char* end_;
    bool ok_ = true;
};

void putBase(std::string& out, const TLANBaseEvent& r) {
    putString(out, r.type);
    putString(out, r.date);
    putString(out, r.time);
    putString(out, r.session_id);
    putRaw(out, r.ts);
}

void readBase(Reader& in, TLANBaseEvent& r) {
    r.type = in.string();
    r.date = in.string();
    r.time = in.string();
    r.session_id = in.string();
    r.ts = in.raw<double>();
}

}  // namespace

TallyJournal::TallyJournal(std::string path) : path_(std::move(path)) {
    openForAppend();
}

TallyJournal::~TallyJournal() {
    flush();
    if (fd_ >= 0) ::close(fd_);
}

void TallyJournal::openForAppend() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd_ < 0) TLLog("ERROR open journal %s: %s", path_.c_str(), std::strerror(errno));
}

void TallyJournal::begin(char tag, double now) {
    entryStart_ = buffer_.size();
    putRaw(buffer_, uint32_t{0});
    buffer_.push_back(tag);
    putRaw(buffer_, now);
}

void TallyJournal::end() {
    const auto length = static_cast<uint32_t>(buffer_.size() - entryStart_ - sizeof(uint32_t));
    std::memcpy(buffer_.data() + entryStart_, &length, sizeof length);
}

void TallyJournal::sessionBegan(const std::string& sessionId, double beginTime, double now) {
    begin(kBegin, now);
    putString(buffer_, sessionId);
    putRaw(buffer_, beginTime);
    end();
}

void TallyJournal::pageLogged(const Value& item, double now) {
    begin(kPage, now);
    putValue(buffer_, item);
    end();
}

void TallyJournal::recorded(const TLANBaseEvent& record, double now) {
    if (auto* e = dynamic_cast<const TLANEvent*>(&record)) {
        begin(kEvent, now);
        putBase(buffer_, *e);
        putString(buffer_, e->event_id);
        putString(buffer_, e->label);
        putRaw(buffer_, e->acc);
        putValue(buffer_, Value(e->values));
        putRaw(buffer_, e->du);
    } else if (auto* k = dynamic_cast<const TLANEkv*>(&record)) {
        begin(kEkv, now);
        putBase(buffer_, *k);
        putString(buffer_, k->id);
        putString(buffer_, k->key);
        putValue(buffer_, Value(k->values));
        putRaw(buffer_, k->du);
    } else if (auto* r = dynamic_cast<const TLANError*>(&record)) {
        begin(kError, now);
        putBase(buffer_, *r);
        putString(buffer_, r->context);
    } else if (auto* t = dynamic_cast<const TLANTerminate*>(&record)) {
        begin(kTerminate, now);
        putBase(buffer_, *t);
        putRaw(buffer_, t->duration);
        putValue(buffer_, Value(t->pageViews));
        putRaw(buffer_, t->latitude);
        putRaw(buffer_, t->longitude);
        putRaw(buffer_, t->gps_time);
    } else {
        return;
    }
    end();
}

void TallyJournal::flush() {
    if (buffer_.empty() || fd_ < 0) return;
    const char* p = buffer_.data();
    size_t left = buffer_.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            TLLog("ERROR write journal: %s", std::strerror(errno));
            break;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    buffer_.clear();
}

void TallyJournal::rewrite() {
    std::string error;
    if (!platform::writeFileAtomically(path_, buffer_.data(), buffer_.size(), &error)) {
        TLLog("ERROR rewrite journal: %s", error.c_str());
        // The old file still holds its entries; the new ones follow them.
        flush();
        return;
    }
    buffer_.clear();
    openForAppend();
}

TallyJournal::Contents TallyJournal::read(const std::string& path) {
    Contents contents;
    const auto bytes = platform::readFile(path);
    if (!bytes) return contents;
    const char* data = reinterpret_cast<const char*>(bytes->data());
    Reader file(data, bytes->size());
    struct Open {
        std::string id;
        double begin = 0;
    };
    std::optional<Open> open;
    Value::Array pages;
    double last = 0;
    auto closeOpen = [&](double at) {
        if (!open) return;
        auto t = std::make_shared<TLANTerminate>();
        t->ts = at;
        t->duration = TallySession::reportedDuration(at - open->begin);
        t->pageViews = std::move(pages);
        pages.clear();
        t->stamp(open->id);
        contents.terminates.push_back(t);
        contents.unended = t;
        open.reset();
    };
    while (!file.atEnd()) {
        // Nothing more when the file ends inside an entry.
        const std::string entry = file.bytes(file.raw<uint32_t>());
        if (!file.ok()) break;
        Reader in(entry.data(), entry.size());
        const char tag = in.raw<char>();
        const double now = in.raw<double>();
        switch (tag) {
            case kBegin: {
                Open o;
                o.id = in.string();
                o.begin = in.raw<double>();
                // The same session again: the journal started over in it.
                if (!in.ok() || (open && open->id == o.id)) break;
                closeOpen(last);
                open = std::move(o);
                break;
            }
            case kPage: {
                Value item = in.value();
                if (in.ok()) pages.push_back(std::move(item));
                break;
            }
            case kEvent: {
                auto e = std::make_shared<TLANEvent>();
                readBase(in, *e);
                e->event_id = in.string();
                e->label = in.string();
                e->acc = in.raw<int64_t>();
                if (const Value v = in.value(); v.isDictionary()) e->values = *v.asDictionary();
                e->du = in.raw<int64_t>();
                if (in.ok()) contents.events.push_back(std::move(e));
                break;
            }
            case kEkv: {
                auto k = std::make_shared<TLANEkv>();
                readBase(in, *k);
                k->id = in.string();
                k->key = in.string();
                if (const Value v = in.value(); v.isDictionary()) k->values = *v.asDictionary();
                k->du = in.raw<int64_t>();
                if (in.ok()) contents.ekv.push_back(std::move(k));
                break;
            }
            case kError: {
                auto r = std::make_shared<TLANError>();
                readBase(in, *r);
                r->context = in.string();
                if (in.ok()) contents.errors.push_back(std::move(r));
                break;
            }
            case kTerminate: {
                auto t = std::make_shared<TLANTerminate>();
                readBase(in, *t);
                t->duration = in.raw<int64_t>();
                if (const Value v = in.value(); v.isArray()) t->pageViews = *v.asArray();
                t->latitude = in.raw<double>();
                t->longitude = in.raw<double>();
                t->gps_time = in.raw<int64_t>();
                if (!in.ok()) break;
                contents.terminates.push_back(std::move(t));
                open.reset();
                pages.clear();
                break;
            }
            default:
                break;
        }
        if (in.ok() && now > last) last = now;
    }
    closeOpen(last);
    return contents;
}
