#include <QTest>

#include "foundation/NotificationCenter.h"
#include "ui/UiTest.h"
#include "ui/maker/QELPopover.h"
#include "ui/platform/Animation.h"
#include "ui/platform/MainLoop.h"

using namespace platform;
using uitest::drain;

namespace {

class Card : public ViewController, public QELPopover {
public:
    QSizeF popover_contentSize() const override { return {280, 180}; }
    void loadView() override {
        auto* v = new View();
        v->setBackgroundColor(Qt::white);
        button = new Button(v);
        button->setGeometry(10, 10, 100, 40);
        setView(v);
    }
    Button* button = nullptr;
};

class PopoverTest : public uitest::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        window = uitest::showInWindow(std::make_shared<ViewController>(), {320, 568});
    }
    void TearDown() override {
        card.reset();
        window.reset();
        UiTest::TearDown();
    }
    int layers() const {
        int n = 0;
        for (QObject* child : window->children())
            if (child->property("platform.layer").toBool()) ++n;
        return n;
    }
    std::unique_ptr<Window> window;
    std::shared_ptr<Card> card = std::make_shared<Card>();
};

TEST_F(PopoverTest, ShowCentresTheCardOverOneDimmedLayer) {
    int completions = 0;
    showPopover(*card, [&](ViewController& c) {
        EXPECT_EQ(&c, card.get());
        ++completions;
    });
    EXPECT_EQ(completions, 1);
    const auto state = popoverState(*card);
    ASSERT_TRUE(state.popoverWindow && state.backgroundView);
    EXPECT_TRUE(state.observesKeyboard);
    EXPECT_EQ(state.backgroundView->backgroundColor(), QColor::fromRgbF(0, 0, 0, 0.3f));
    EXPECT_EQ(card->view()->geometry(), QRect(20, 194, 280, 180));
    EXPECT_DOUBLE_EQ(platform::alpha(card->view()), 1.0);

    // Showing it again only completes.
    showPopover(*card, [&](ViewController&) { ++completions; });
    EXPECT_EQ(completions, 2);
    EXPECT_EQ(layers(), 1);
}

TEST_F(PopoverTest, KeyboardMovesTheCardIntoTheSpaceAboveIt) {
    showPopover(*card);
    auto post = [](double top) {
        Value::Dictionary info;
        info[kKeyboardFrameEndUserInfoKey] =
            Value(Value::Array{Value(0.0), Value(top), Value(320.0), Value(568.0 - top)});
        info[kKeyboardAnimationDurationUserInfoKey] = Value(0.25);
        NotificationCenter::defaultCenter().post(kKeyboardWillChangeFrameNotification, nullptr,
                                                 Value(std::move(info)));
    };
    post(352);
    EXPECT_EQ(card->view()->y() + card->view()->height() / 2, 176);
    post(568);
    EXPECT_EQ(card->view()->y() + card->view()->height() / 2, 284);
}

TEST_F(PopoverTest, DismissIgnoresTapsAndCompletesBeforeTheLayerGoes) {
    int taps = 0;
    card->view();
    card->button->addTarget(&taps, {"tap:", [&](Control&) { ++taps; }}, ControlEventTouchUpInside);
    showPopover(*card);
    QWidget* layer = popoverState(*card).popoverWindow;
    bool layerVisibleAtCompletion = false, layerEnabledAtCompletion = true;
    dismissPopover(*card, [&](ViewController&) {
        layerVisibleAtCompletion = layer->isVisible();
        layerEnabledAtCompletion = layer->isEnabled();
        QTest::mouseClick(card->button, Qt::LeftButton, {}, QPoint(5, 5));
    });
    EXPECT_TRUE(layerVisibleAtCompletion);
    EXPECT_FALSE(layerEnabledAtCompletion);
    EXPECT_EQ(taps, 0);
    const auto state = popoverState(*card);
    EXPECT_FALSE(state.popoverWindow);
    EXPECT_FALSE(state.backgroundView);
    EXPECT_FALSE(state.observesKeyboard);
    drain();
    EXPECT_EQ(layers(), 0);
}

TEST_F(PopoverTest, FadesRunInOrder) {
    setAnimationsInstant(false);
    showPopover(*card);
    const auto state = popoverState(*card);
    EXPECT_DOUBLE_EQ(platform::alpha(card->view()), 0.0) << "the card waits for the dimming";
    EXPECT_EQ(state.backgroundView->backgroundColor().alpha(), 0);
    // Ending the dimming starts the card's fade.
    removeAllAnimations(state.backgroundView);
    EXPECT_EQ(runningAnimationCount(card->view()), 1u);
    setAnimationsInstant(true);
    removeAllAnimations(card->view());
}

}  // namespace
