#include "core/catalogue/QELSoundEffect.h"

#include "core/catalogue/QELSoundEffectResourceBundle.h"
#include "foundation/Fatal.h"
#include "foundation/Paths.h"
#include "foundation/Text.h"

#include <sys/stat.h>

#include <string_view>

using platform::Value;

const std::string& kUserCollectionFileBasePath() {
    static const std::string path = platform::Paths::libraryDirectory() + "/UserCollections/Custom";
    return path;
}

namespace {

// One component of a path inside a folder: never a way out of it.
bool isPlainName(const std::string& s) {
    return s.find('/') == std::string::npos && s.find('\0') == std::string::npos && s != "." &&
           s != "..";
}

// A path below the recordings folder: no component may climb out of it.
bool staysBelow(std::string_view path) {
    if (path.find('\0') != std::string_view::npos) return false;
    for (;;) {
        const size_t slash = path.find('/');
        if (path.substr(0, slash) == "..") return false;
        if (slash == std::string_view::npos) return true;
        path.remove_prefix(slash + 1);
    }
}

}  // namespace

QELSoundEffect::Ref QELSoundEffect::init(const std::string& cate, const Value& dict,
                                         const std::string& subdir) {
    const Value* fileName = dict.find("fileName");
    const Value* title = dict.find("title");
    if (!fileName || !fileName->isString() || !title || !title->isString()) return nullptr;
    auto effect =
        new QELSoundEffect(Fields{*title->asString(), cate, subdir, *fileName->asString(), {}});
    if (const Value* english = dict.find("englishTitle"); english && english->isString())
        effect->englishTitle_ = *english->asString();
    return Ref(effect);
}

QELSoundEffect::Ref QELSoundEffect::customSoundEffectWithName(const std::string& name,
                                                              const std::string& resourcePath) {
    return Ref(new QELSoundEffect(Fields{name, kUserCustomSoundEffectCategory, {}, {}, resourcePath}));
}

QELSoundEffect::Ref QELSoundEffect::initWithSoundEffect(const QELSoundEffect& other) {
    return Ref(new QELSoundEffect(other.f_));
}

QELSoundEffect::QELSoundEffect(Fields fields) : f_(std::move(fields)) {
    // Length-prefixed, so no two different field lists make one key. The
    // user's path and the built-in location never meet: the category,
    // compared first, tells the kinds apart.
    for (const std::string* field : {&f_.category, &f_.name, &f_.subDir, &f_.fileName, &f_.path}) {
        const std::string form = platform::canonicalForm(*field);
        key_ += std::to_string(form.size());
        key_ += ':';
        key_ += form;
    }
}

std::string QELSoundEffect::resourcePath() const {
    if (isUserCustom()) return kUserCollectionFileBasePath() + f_.path;
    const auto& bundle = QELSoundEffectResourceBundle::bundle();
    if (auto path = bundle.pathForResource(f_.fileName, "", f_.subDir)) return *path;
    if (!isPlainName(f_.subDir) || !isPlainName(f_.fileName)) return {};
    return bundle.bundlePath() + "/" + f_.subDir + "/" + f_.fileName;
}

bool QELSoundEffect::isAvailable() const {
    struct stat st {};
    if (isUserCustom()) {
        return ::stat(resourcePath().c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }
    return QELSoundEffectResourceBundle::bundle().pathForResource(f_.fileName, "", f_.subDir)
        .has_value();
}

std::vector<std::string> QELSoundEffect::archiveClassHierarchy() const {
    return {"QELSoundEffect", "NSObject"};
}

void QELSoundEffect::encodeWithCoder(platform::KeyedArchiver& coder) const {
    coder.encodeObject(Value(f_.name), "name");
    coder.encodeObject(Value(f_.category), "category");
    coder.encodeObject(Value(f_.path), "path");
    coder.encodeObject(Value(f_.fileName), "fileName");
    coder.encodeObject(Value(f_.subDir), "subDir");
}


std::optional<QELSoundEffect::Fields> QELSoundEffect::decodeFields(platform::KeyedUnarchiver& coder) {
    Fields f;
    for (auto [key, field] : {std::pair{"name", &f.name}, {"category", &f.category}, {"path", &f.path},
                              {"fileName", &f.fileName}, {"subDir", &f.subDir}}) {
        Value v = coder.decodeObjectForKey(key);
        if (!v.isString()) return std::nullopt;
        *field = *v.asString();
    }
    // Archives are the user's files, not ours: a stored location that leads
    // outside the bundle or the recordings folder rejects the entry.
    if ((!f.subDir.empty() && !isPlainName(f.subDir)) ||
        (!f.fileName.empty() && !isPlainName(f.fileName)) || !staysBelow(f.path))
        return std::nullopt;
    return f;
}

QELSoundEffect::Ref QELSoundEffect::initWithCoder(platform::KeyedUnarchiver& coder) {
    auto f = decodeFields(coder);
    return f ? Ref(new QELSoundEffect(std::move(*f))) : nullptr;
}

const platform::KeyedUnarchiver::ClassTable& QELSoundEffect::archiveClasses() {
    static const platform::KeyedUnarchiver::ClassTable classes = {
        {"QELSoundEffect", [](platform::KeyedUnarchiver& c) -> platform::ObjectRef {
             return QELSoundEffect::initWithCoder(c);
         }},
        {"QELCollectionSoundEffect", [](platform::KeyedUnarchiver& c) -> platform::ObjectRef {
             return QELCollectionSoundEffect::initWithCoder(c);
         }},
    };
    return classes;
}

QELCollectionSoundEffect::Ref QELCollectionSoundEffect::initWithSoundEffect(const QELSoundEffect& other,
                                                                            const platform::Clock& clock) {
    return Ref(new QELCollectionSoundEffect(other.f_, clock.date()));
}

QELCollectionSoundEffect::Ref QELCollectionSoundEffect::init(const std::string&, const Value&,
                                                             const std::string&) {
    platform::fatal("init(cate:dict:subdir:) has not been implemented");
}

QELCollectionSoundEffect::Ref QELCollectionSoundEffect::initWithCoder(platform::KeyedUnarchiver& coder) {
    Value time = coder.decodeObjectForKey("time");
    if (!time.isDate()) return nullptr;
    auto f = decodeFields(coder);
    return f ? Ref(new QELCollectionSoundEffect(std::move(*f), *time.asDate())) : nullptr;
}

std::vector<std::string> QELCollectionSoundEffect::archiveClassHierarchy() const {
    return {"QELCollectionSoundEffect", "QELSoundEffect", "NSObject"};
}

void QELCollectionSoundEffect::encodeWithCoder(platform::KeyedArchiver& coder) const {
    QELSoundEffect::encodeWithCoder(coder);
    coder.encodeObject(Value(time_), "time");
}
