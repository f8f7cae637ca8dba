#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QTest>
#include <QTextDocument>

#include "analytics/collect/TallyRuntime.h"
#include "app/QELAppDelegate.h"
#include "app/QELTabBarController.h"
#include "core/catalogue/QELSoundEffect.h"
#include "core/maker/QELSoundEffectMakeViewModel.h"
#include "core/remote/QELHotkeys.h"
#include "core/settings/QELAudioSettings.h"
#include "support/TestSupport.h"
#include "ui/UiTest.h"
#include "ui/board/QELSoundEffectListViewController.h"
#include "ui/hotkeys/QELHotkeyCaptureDialog.h"
#include "ui/maker/QELPopover.h"
#include "ui/maker/QELSoundEffectMakeViewController.h"
#include "ui/mine/QELMySoundEffectsEditOptionViewController.h"
#include "ui/mine/QELMySoundEffectsViewController.h"
#include "ui/platform/Control.h"
#include "ui/platform/Language.h"
#include "ui/platform/NavigationController.h"
#include "ui/utils/QELCatalogueText.h"
#include "ui/utils/QELCoreText.h"

using namespace platform;
using uitest::drain;

namespace {

TEST(Language, TheDesktopsFirstLanguageDecidesUnlessForced) {
    struct Case {
        std::optional<std::string> forced;
        QStringList desktop;
        Language expected;
        bool warned;
    };
    const Case cases[] = {
        {{}, {u"zh-CN"_qs, u"en-US"_qs}, Language::Chinese, false},
        {{}, {u"zh-Hant-TW"_qs}, Language::Chinese, false},
        {{}, {u"en-GB"_qs, u"zh-CN"_qs}, Language::English, false},
        {{}, {u"zh"_qs}, Language::Chinese, false},
        {{}, {u"zu"_qs}, Language::English, false},
        {{}, {}, Language::English, false},
        {"en", {u"zh-CN"_qs}, Language::English, false},
        {"zh", {u"de-DE"_qs}, Language::Chinese, false},
        {"fr", {u"zh-CN"_qs}, Language::Chinese, true},
        {"", {u"en-US"_qs}, Language::English, true},
    };
    for (const Case& c : cases) {
        std::string warning;
        const auto name = c.forced.value_or("-") + " " + c.desktop.join(u',').toStdString();
        EXPECT_EQ(chooseLanguage(c.forced, c.desktop, &warning), c.expected) << name;
        EXPECT_EQ(!warning.empty(), c.warned) << name;
    }
}

// What core says reaches the screens in English, names and details kept;
// what the table does not know, and everything in Chinese, shows as it came.
TEST(Language, TextsFromBelowTheScreensAndCatalogueTitlesFollowTheLanguage) {
    testsupport::TempDir dir;
    UserDefaults defaults(dir.file("defaults.plist"));
    QELAudioSettings settings(defaults);
    settings.setStreamOutput("Desk %1 “mic”");
    settings.setMakerInput("USB");
    const auto route = settings.resolve({});
    ASSERT_EQ(route.fellBack.size(), 2u);
    const auto effect = QELSoundEffect::init(
        "欢呼掌声",
        Value(Value::Dictionary{{"fileName", Value(std::string("applause.flac"))},
                                {"title", Value(std::string("掌声"))}}),
        "Cheers");
    ASSERT_TRUE(effect) << "a collection entry's kind: no English title of its own";

    useLanguage(Language::English);
    EXPECT_EQ(QELCoreText(route.fellBack[0]).toStdString(),
              "Stream output “Desk %1 “mic”” is gone; using the default output");
    EXPECT_EQ(QELCoreText(route.fellBack[1]).toStdString(),
              "Recording input “USB” is gone; using the default input");
    EXPECT_EQ(QELCoreText("大叔的录音").toStdString(), "大叔的录音");
    EXPECT_EQ(QELEffectTitle(*effect).toStdString(), "Applause");
    EXPECT_EQ(QELCategoryTitle("节奏氛围").toStdString(), "Drama");
    const QELHotkey drums{{}, QELHotkey::Action::Play, "节奏氛围", "击鼓"};
    EXPECT_EQ(QELHotkeyTitle(drums).toStdString(), "Drama/Drumroll");

    useLanguage(Language::Chinese);
    EXPECT_EQ(QELCoreText(route.fellBack[1]).toStdString(), "录音输入“USB”不在了，改用默认输入");
    EXPECT_EQ(QELEffectTitle(*effect).toStdString(), "掌声");
    EXPECT_EQ(QELCategoryTitle("节奏氛围").toStdString(), "节奏氛围");
    EXPECT_EQ(QELHotkeyTitle(drums).toStdString(), "节奏氛围/击鼓");
}

// The text a widget shows and the rectangle it has for it; an empty text
// when it shows none.
struct Shown {
    QString text;
    QRect room;
    int flags = Qt::AlignCenter;
};

Shown shownText(QWidget* w) {
    if (auto* label = qobject_cast<QLabel*>(w)) {
        QString text = label->text();
        if (label->textFormat() != Qt::PlainText && Qt::mightBeRichText(text)) {
            QTextDocument document;
            document.setHtml(text);
            text = document.toPlainText();
        }
        const int inset = label->margin() + std::max(label->indent(), 0);
        return {text, label->contentsRect().adjusted(inset, inset, -inset, -inset),
                int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0)};
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const bool check = qobject_cast<QCheckBox*>(button) != nullptr;
        const QRect room = button->style()->subElementRect(
            check ? QStyle::SE_CheckBoxContents : QStyle::SE_PushButtonContents, &option, button);
        return {button->text(), room,
                check ? int(Qt::AlignLeft | Qt::AlignVCenter) : int(Qt::AlignCenter)};
    }
    if (auto* button = dynamic_cast<Button*>(w)) return {button->title(), button->rect()};
    if (auto* edit = qobject_cast<QLineEdit*>(w); edit && edit->text().isEmpty())
        return {edit->placeholderText(), edit->contentsRect().adjusted(4, 0, -4, 0)};
    return {};
}

// Every text shown in `top` that does not fit where it is drawn.
std::vector<std::string> clippedTexts(QWidget* top) {
    std::vector<std::string> clipped;
    QList<QWidget*> widgets = top->findChildren<QWidget*>();
    widgets.prepend(top);
    for (QWidget* w : widgets) {
        if (!w->isVisibleTo(top) && w != top) continue;
        // A screen that scrolls sideways hides the ends of its lines.
        if (auto* bar = qobject_cast<QScrollBar*>(w); bar && bar->orientation() == Qt::Horizontal)
            clipped.push_back("a screen scrolls sideways");
        const Shown shown = shownText(w);
        if (shown.text.isEmpty()) continue;
        const QRect needed =
            QFontMetrics(w->font()).boundingRect(shown.room, shown.flags, shown.text);
        if (needed.width() > shown.room.width() || needed.height() > shown.room.height())
            clipped.push_back(
                shown.text.toStdString() + " needs " + std::to_string(needed.width()) + "x" +
                std::to_string(needed.height()) + ", has " + std::to_string(shown.room.width()) +
                "x" + std::to_string(shown.room.height()));
    }
    return clipped;
}

class LanguageScreensTest : public uitest::UiTest, public ::testing::WithParamInterface<Language> {
protected:
    LanguageScreensTest()
        : runtime(uitest::tallyEnvironment(defaults, dir.path())), scope(runtime) {}

    void TearDown() override {
        delegate.reset();
        drain();
        useLanguage(Language::Chinese);
        UiTest::TearDown();
    }

    testsupport::TempDir dir;
    UserDefaults defaults{dir.file("defaults.plist")};
    TallyRuntime runtime;
    TallyRuntime::Scope scope;
    std::unique_ptr<QELAppDelegate> delegate;
};

// Each screen at the window's minimum size: every text a label, button or
// empty field shows fits whole.
TEST_P(LanguageScreensTest, NoTextIsCutOffAtTheMinimumWindowSize) {
    useLanguage(GetParam());
    const std::string language = GetParam() == Language::English ? "en" : "zh";
    delegate = std::make_unique<QELAppDelegate>(defaults);
    ASSERT_TRUE(delegate->didFinishLaunching(*qApp));
    Window* window = delegate->window();
    window->resize(window->minimumSize());
    drain();
    QELTabBarController* tabs = delegate->tabBarController();
    auto check = [&](const std::string& screen) {
        drain();
        uitest::screenshot(*window, "language_" + language + "_" + screen + ".png");
        EXPECT_EQ(clippedTexts(window), std::vector<std::string>{}) << screen;
    };

    check("board");
    auto& board = tabs->soundEffectListViewController();
    auto* boardNav = board.navigationController();
    Button* gear = boardNav->navigationBar()->rightButton();
    QTest::mouseClick(gear, Qt::LeftButton, {}, gear->rect().center());
    uitest::advance(1);
    check("settings");
    boardNav->popViewController(false);

    tabs->setSelectedIndex(1);
    auto& maker = tabs->soundEffectMakeViewController();
    drain();
    check("maker");
    if (auto* alert = maker.microPhoneAlert()) alert->dismissWithClickedButtonIndex(0);
    auto save = std::make_shared<QELSoundEffectSaveViewController>(maker.viewModel());
    save->view();
    showPopover(*save);
    uitest::advance(1);
    check("save");
    dismissPopover(*save);
    uitest::advance(1);

    tabs->setSelectedIndex(2);
    check("mine");
    auto& mine = tabs->mySoundEffectsViewController();
    mine.viewModel()->addSoundEffect(board.viewModel()->objectAtIndexPath({2, 1}));
    mine.showEditOptions(mine.viewModel()->storage().soundEffects().back());
    uitest::advance(1);
    check("card");
    Button* hotkey = mine.editOptions()->hotkeyButton();
    QTest::mouseClick(hotkey, Qt::LeftButton, {}, hotkey->rect().center());
    uitest::advance(1);
    auto* capture = window->findChild<QELHotkeyCaptureDialog*>();
    ASSERT_TRUE(capture);
    QTest::keyClick(capture, Qt::Key_X);
    check("hotkey");
    capture->reject();
    mine.viewModel()->removeSoundEffect(mine.viewModel()->storage().soundEffects().back());
}

INSTANTIATE_TEST_SUITE_P(BothLanguages, LanguageScreensTest,
                         ::testing::Values(Language::Chinese, Language::English),
                         [](const auto& info) {
                             return info.param == Language::English ? "English" : "Chinese";
                         });

}  // namespace
