#pragma once

#include <memory>
#include <string>

#include "foundation/Clock.h"
#include "foundation/KeyedArchive.h"
#include "foundation/Value.h"

// The category of the user's own recordings. Reserved: a catalogue category
// of this name would be taken for user recordings.
inline constexpr const char* kUserCustomSoundEffectCategory = "UserCustom";

// <Library>/UserCollections/Custom, where user recordings live. Computed
// once, on first use.
const std::string& kUserCollectionFileBasePath();

// One sound effect: a built-in catalogue item or a user recording. Immutable
// and shared; identity is pointer identity.
class QELSoundEffect : public platform::Coding {
public:
    using Ref = std::shared_ptr<const QELSoundEffect>;

    // A built-in record from one catalogue item; nullptr when "fileName" or
    // "title" is missing or not a text.
    static Ref init(const std::string& cate, const platform::Value& dict, const std::string& subdir);
    // A user recording; `resourcePath` is relative to
    // kUserCollectionFileBasePath() and carries its own leading "/".
    static Ref customSoundEffectWithName(const std::string& name, const std::string& resourcePath);
    static Ref initWithSoundEffect(const QELSoundEffect& other);
    // nullptr when a key is missing or holds another type.
    static Ref initWithCoder(platform::KeyedUnarchiver& coder);

    const std::string& name() const { return f_.name; }
    const std::string& category() const { return f_.category; }
    // The catalogue's English title of a built-in effect, empty when it has
    // none (and always for recordings and collection entries). Only for
    // display: the name above is what identifies the effect.
    const std::string& englishTitle() const { return englishTitle_; }

    // Absolute path of the audio file, resolved on every call: where the
    // file is, or for a built-in one the bundle lacks, where it would be.
    std::string resourcePath() const;
    // Whether the audio file is there: a collection entry may outlive the
    // catalogue item it was copied from, and a shipped file may be missing.
    bool isAvailable() const;
    bool isUserCustom() const { return f_.category == kUserCustomSoundEffectCategory; }

    // Category, name, then where the file is, each under canonical
    // equivalence. Compares the stored locations, which decide the resolved
    // path, so no file is looked up: entries whose file is gone compare too.
    bool operator==(const QELSoundEffect& other) const { return key_ == other.key_; }
    bool operator!=(const QELSoundEffect& other) const { return !(*this == other); }
    // What equality compares, as one text (for hashing).
    const std::string& equalityKey() const { return key_; }

    std::vector<std::string> archiveClassHierarchy() const override;
    void encodeWithCoder(platform::KeyedArchiver& coder) const override;

    // Factories of both record classes for the keyed unarchiver.
    static const platform::KeyedUnarchiver::ClassTable& archiveClasses();

protected:
    struct Fields {
        std::string name, category, subDir, fileName, path;
    };
    explicit QELSoundEffect(Fields fields);
    static std::optional<Fields> decodeFields(platform::KeyedUnarchiver& coder);
    const Fields& fields() const { return f_; }

private:
    friend class QELCollectionSoundEffect;  // copies any record's fields
    Fields f_;
    std::string englishTitle_;
    std::string key_;  // the fields equality compares, in canonical form
};

// An entry of the user's collection: a record and when it was added.
class QELCollectionSoundEffect final : public QELSoundEffect {
public:
    using Ref = std::shared_ptr<const QELCollectionSoundEffect>;

    // Copies any record (built-in or user recording) and stamps it now.
    static Ref initWithSoundEffect(const QELSoundEffect& other,
                                   const platform::Clock& clock = platform::Clock::system());
    static Ref initWithCoder(platform::KeyedUnarchiver& coder);
    // Collection entries never come from catalogue items: stops the program.
    [[noreturn]] static Ref init(const std::string& cate, const platform::Value& dict,
                                 const std::string& subdir);

    platform::Date time() const { return time_; }

    std::vector<std::string> archiveClassHierarchy() const override;
    void encodeWithCoder(platform::KeyedArchiver& coder) const override;

private:
    QELCollectionSoundEffect(Fields fields, platform::Date time)
        : QELSoundEffect(std::move(fields)), time_(time) {}

    platform::Date time_;
};
