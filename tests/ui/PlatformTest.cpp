#include <QTest>

#include "ui/UiTest.h"
#include "ui/platform/Animation.h"
#include "ui/platform/Attached.h"
#include "ui/platform/CollectionView.h"
#include "ui/platform/Geometry.h"
#include "ui/platform/Image.h"
#include "ui/platform/Palette.h"

using namespace platform;
using uitest::drain;

namespace {

class PlatformTest : public uitest::UiTest {};

TEST_F(PlatformTest, GeometrySettersKeepTheOtherComponents) {
    QWidget v;
    v.setGeometry(10, 20, 30, 40);
    setRight(&v, 100);
    EXPECT_EQ(v.geometry(), QRect(70, 20, 30, 40));
    setCenterY(&v, 50);
    EXPECT_EQ(v.geometry(), QRect(70, 30, 30, 40));
    setWidth(&v, 60);
    EXPECT_EQ(v.geometry(), QRect(70, 30, 60, 40));
    EXPECT_EQ(bottom(&v), 70);
    EXPECT_EQ(centerX(&v), 100);
}

TEST_F(PlatformTest, RoundedRectImageLeavesCornersClear) {
    const QImage image = roundedRectImage({40, 20}, Qt::red, 10.0).toImage();
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);
    EXPECT_EQ(image.pixelColor(20, 10), QColor(Qt::red));
    const QImage square = roundedRectImage({40, 20}, Qt::red).toImage();
    EXPECT_EQ(square.pixelColor(0, 0), QColor(Qt::red));
    const QImage framed = roundedRectImage({40, 20}, std::nullopt, 0.0, 4.0, Qt::blue).toImage();
    EXPECT_EQ(framed.pixelColor(1, 10), QColor(Qt::blue));
    EXPECT_EQ(framed.pixelColor(20, 10).alpha(), 0) << "no fill given";
}

TEST_F(PlatformTest, RemovedAnimationsCompleteUnfinished) {
    setAnimationsInstant(false);
    QObject owner;
    std::optional<bool> finished;
    animate(
        10, 0, AnimationCurve::EaseOut, {}, [&](bool f) { finished = f; }, &owner);
    EXPECT_EQ(runningAnimationCount(&owner), 1u);
    removeAllAnimations(&owner);
    EXPECT_EQ(finished, false);
    EXPECT_EQ(runningAnimationCount(&owner), 0u);
}

TEST_F(PlatformTest, AttachedValuesLiveWithTheirObject) {
    auto value = std::make_shared<int>(7);
    std::weak_ptr<int> weak = value;
    {
        QObject object;
        attachValue(&object, "k", std::move(value));
        EXPECT_EQ(*attached<int>(&object, "k"), 7);
        EXPECT_FALSE(attached<int>(&object, "other"));
    }
    EXPECT_TRUE(weak.expired());
}

// Which events a press and a release send: StatisticsTest, whose records go
// through them.
TEST_F(PlatformTest, AControlIsHighlightedFromPressToReleaseWhereverItFalls) {
    Button button;
    button.resize(40, 40);
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(button.isHighlighted());
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(60, 5));
    EXPECT_FALSE(button.isHighlighted());
}

// A flat list of numbered items for the collection view.
class Numbers : public CollectionViewDataSource {
public:
    std::vector<int64_t> counts{5, 2};
    int64_t numberOfSectionsInCollectionView(CollectionView&) override {
        return static_cast<int64_t>(counts.size());
    }
    int64_t numberOfItemsInSection(CollectionView&, int64_t s) override {
        return counts[static_cast<size_t>(s)];
    }
    CollectionViewCell* cellForItemAtIndexPath(CollectionView& cv, const IndexPath& ip) override {
        return static_cast<CollectionViewCell*>(cv.dequeueReusableCell("n", ip));
    }
};

class CollectionViewTest : public uitest::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        CollectionViewFlowLayout layout;
        layout.itemSize = {100, 40};
        layout.sectionInset = QMarginsF(10, 5, 10, 5);
        layout.minimumInteritemSpacing = 10;
        layout.minimumLineSpacing = 10;
        layout.footerReferenceSize = {0, 20};
        view = std::make_unique<CollectionView>(layout);
        view->registerCellClass<CollectionViewCell>("n");
        view->resize(350, 40);
        view->setDataSource(&numbers);
        view->reloadData();
        view->show();
        drain();
    }
    Numbers numbers;
    std::unique_ptr<CollectionView> view;
};

TEST_F(CollectionViewTest, FlowLayoutJustifiesRowsAndStacksSections) {
    // 330 points for 100-point items: three fit, the spare 30 split in two.
    EXPECT_EQ(view->layoutFrameForItem({0, 0}), QRectF(10, 5, 100, 40));
    EXPECT_EQ(view->layoutFrameForItem({0, 1}), QRectF(125, 5, 100, 40));
    EXPECT_EQ(view->layoutFrameForItem({0, 2}), QRectF(240, 5, 100, 40));
    EXPECT_EQ(view->layoutFrameForItem({0, 3}), QRectF(10, 55, 100, 40));
    EXPECT_EQ(view->layoutFrameForSupplementary(kCollectionElementKindSectionFooter, 0),
              QRectF(0, 100, 350, 20));
    EXPECT_EQ(view->layoutFrameForItem({1, 0}), QRectF(10, 125, 100, 40));
    EXPECT_EQ(view->contentSize(), QSizeF(350, 190));
}

TEST_F(CollectionViewTest, OnlyCellsInViewExistAndAreReused) {
    // 40 points of view and half of it either side: the first section only.
    EXPECT_EQ(view->visibleCells().size(), 5u);
    EXPECT_FALSE(view->cellForItemAtIndexPath({1, 0}));
    std::vector<double> offsets;
    QObject context;
    view->observeContentOffset(&context, [&](QPointF p) { offsets.push_back(p.y()); });
    view->setContentOffset({0, 110});
    EXPECT_EQ(offsets, std::vector<double>{110});
    drain();
    EXPECT_TRUE(view->cellForItemAtIndexPath({1, 1}));
    EXPECT_FALSE(view->cellForItemAtIndexPath({0, 0}));
    EXPECT_EQ(view->visibleCells().size(), 4u);
    EXPECT_EQ(view->contentWidget()->children().size(), 5u) << "cells that left were reused";
}

TEST_F(CollectionViewTest, BatchUpdatesMoveTheSelectionWithItsItem) {
    view->selectItemAtIndexPath({0, 3}, false);
    bool completed = false;
    view->performBatchUpdates(
        [&] {
            numbers.counts[0] = 5 - 2 + 1;
            view->deleteItemsAtIndexPaths({{0, 0}, {0, 4}});
            view->insertItemsAtIndexPaths({{0, 0}});
            view->reloadItemsAtIndexPaths({{0, 1}});
        },
        [&](bool finished) { completed = finished; });
    EXPECT_TRUE(completed);
    EXPECT_EQ(view->numberOfItemsInSection(0), 4);
    EXPECT_EQ(view->indexPathsForSelectedItems(), (std::vector<IndexPath>{{0, 3}}));
    view->performBatchUpdates([&] {
        numbers.counts[0] = 3;
        view->deleteItemsAtIndexPaths({{0, 3}});
    });
    EXPECT_TRUE(view->indexPathsForSelectedItems().empty()) << "the selected item went";
}

}  // namespace
