#pragma once

#include <QPointer>
#include <QScrollArea>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "foundation/IndexPath.h"
#include "ui/platform/GestureRecognizer.h"
#include "ui/platform/ViewController.h"

namespace platform {

inline constexpr const char* kCollectionElementKindSectionHeader =
    "UICollectionElementKindSectionHeader";
inline constexpr const char* kCollectionElementKindSectionFooter =
    "UICollectionElementKindSectionFooter";

// Cells and supplementary views. Their frame is the layout's; a view that
// does not clip may draw up to overflowMargin() beyond it, so its widget is
// that much larger on each side and its content sits inset by the margin.
class CollectionReusableView : public View {
public:
    static constexpr int kOverflowMargin = 8;

    explicit CollectionReusableView(QWidget* parent = nullptr);
    // Called when the view is taken from the reuse queue.
    virtual void prepareForReuse() {}
    void setClipsToBounds(bool clips);
    bool clipsToBounds() const { return clips_; }
    int overflowMargin() const { return clips_ ? 0 : kOverflowMargin; }
    // The layout frame, in the collection view's content coordinates.
    QRectF frame() const { return frame_; }
    void setFrame(const QRectF& frame);
    // The frame's size, in this view's own coordinates.
    QRectF boundsRect() const;
    const std::string& reuseIdentifier() const { return reuseIdentifier_; }

protected:
    // Lays out subviews for a new frame.
    virtual void layoutSubviews() {}

private:
    friend class CollectionView;
    QRectF frame_;
    bool clips_ = true;
    std::string reuseIdentifier_;
};

class CollectionViewCell : public CollectionReusableView {
public:
    explicit CollectionViewCell(QWidget* parent = nullptr);
    // The view that holds the cell's content; fills the frame.
    View* contentView() const { return contentView_; }
    bool isSelected() const { return selected_; }
    virtual void setSelected(bool selected) { selected_ = selected; }
    bool isHighlighted() const { return highlighted_; }
    virtual void setHighlighted(bool highlighted) { highlighted_ = highlighted; }
    void prepareForReuse() override;
    // Recognises long presses on this cell, which the collection view feeds;
    // a recognised press is no tap.
    LongPressGestureRecognizer* addLongPressGestureRecognizer(
        LongPressGestureRecognizer::Action action);
    LongPressGestureRecognizer* longPressGestureRecognizer() const { return longPress_; }

protected:
    void layoutSubviews() override;

private:
    View* contentView_;
    LongPressGestureRecognizer* longPress_ = nullptr;
    bool selected_ = false;
    bool highlighted_ = false;
};

// Lines items up in rows across the width, section after section, each
// section with its header above and its footer below.
class CollectionViewFlowLayout {
public:
    QSizeF itemSize{50, 50};
    QMarginsF sectionInset;  // left, top, right, bottom
    double minimumInteritemSpacing = 10;
    double minimumLineSpacing = 10;
    QSizeF headerReferenceSize;  // only the height counts: headers span the width
    QSizeF footerReferenceSize;
};

class CollectionView;

class CollectionViewDataSource {
public:
    virtual ~CollectionViewDataSource() = default;
    virtual int64_t numberOfSectionsInCollectionView(CollectionView&) { return 1; }
    virtual int64_t numberOfItemsInSection(CollectionView&, int64_t section) = 0;
    virtual CollectionViewCell* cellForItemAtIndexPath(CollectionView&, const IndexPath&) = 0;
    virtual CollectionReusableView* viewForSupplementaryElementOfKind(CollectionView&,
                                                                      const std::string& kind,
                                                                      const IndexPath&) {
        (void)kind;
        return nullptr;
    }
};

class CollectionViewDelegate {
public:
    virtual ~CollectionViewDelegate() = default;
    virtual void didSelectItemAtIndexPath(CollectionView&, const IndexPath&) {}
    virtual void didDeselectItemAtIndexPath(CollectionView&, const IndexPath&) {}
};

// A scrolling grid of cells laid out by a flow layout. Only the cells in
// view exist; the others wait in reuse queues. Selection stays until
// deselected; a tap selects (one item at a time unless multiple selection
// is allowed) and tells the delegate.
class CollectionView : public QScrollArea {
public:
    using Factory = std::function<CollectionReusableView*()>;

    explicit CollectionView(CollectionViewFlowLayout layout, QWidget* parent = nullptr);
    ~CollectionView() override;

    CollectionViewFlowLayout& collectionViewLayout() { return layout_; }
    // Applies layout changes.
    void invalidateLayout();

    void setDataSource(CollectionViewDataSource* dataSource) { dataSource_ = dataSource; }
    CollectionViewDataSource* dataSource() const { return dataSource_; }
    void setDelegate(CollectionViewDelegate* delegate) { delegate_ = delegate; }

    template <typename Cell>
    void registerCellClass(const std::string& identifier) {
        registerCell([] { return new Cell(); }, identifier);
    }
    template <typename ViewType>
    void registerSupplementaryClass(const std::string& kind, const std::string& identifier) {
        registerSupplementary([] { return new ViewType(); }, kind, identifier);
    }
    void registerCell(Factory factory, const std::string& identifier);
    void registerSupplementary(Factory factory, const std::string& kind,
                               const std::string& identifier);
    // A cell for `identifier` from the reuse queue, or a new one; an
    // unregistered identifier stops the program.
    CollectionReusableView* dequeueReusableCell(const std::string& identifier,
                                                const IndexPath& indexPath);
    CollectionReusableView* dequeueReusableSupplementaryView(const std::string& kind,
                                                             const std::string& identifier,
                                                             const IndexPath& indexPath);

    void reloadData();
    int64_t numberOfSections() const { return static_cast<int64_t>(counts_.size()); }
    int64_t numberOfItemsInSection(int64_t section) const;

    // Inside `updates`, the data source has changed and these calls say
    // how; the selection follows the items. `completion` runs afterwards.
    void performBatchUpdates(const std::function<void()>& updates,
                             std::function<void(bool)> completion = {});
    void insertItemsAtIndexPaths(const std::vector<IndexPath>& indexPaths);
    void deleteItemsAtIndexPaths(const std::vector<IndexPath>& indexPaths);
    void reloadItemsAtIndexPaths(const std::vector<IndexPath>& indexPaths);

    void selectItemAtIndexPath(const IndexPath& indexPath, bool animated);
    void deselectItemAtIndexPath(const IndexPath& indexPath, bool animated);
    std::vector<IndexPath> indexPathsForSelectedItems() const;
    void setAllowsMultipleSelection(bool allows) { multipleSelection_ = allows; }

    // The visible cell at `indexPath`, if any.
    CollectionViewCell* cellForItemAtIndexPath(const IndexPath& indexPath) const;
    CollectionReusableView* supplementaryViewForElementKind(const std::string& kind,
                                                            const IndexPath& indexPath) const;
    std::vector<CollectionViewCell*> visibleCells() const;
    std::optional<IndexPath> indexPathForItemAtPoint(QPointF contentPoint) const;

    // Frames in content coordinates.
    QRectF layoutFrameForItem(const IndexPath& indexPath) const;
    QRectF layoutFrameForSupplementary(const std::string& kind, int64_t section) const;
    QSizeF contentSize() const;
    QPointF contentOffset() const;
    void setContentOffset(QPointF offset);
    // Calls `observer` with every new content offset while `context` lives.
    void observeContentOffset(QObject* context, std::function<void(QPointF)> observer);
    // Calls `observer` after every new layout (size or content) while
    // `context` lives.
    void observeLayout(QObject* context, std::function<void()> observer);

    // The item the keyboard is on: Tab and the arrow keys move it, Space
    // taps it, the menu key long-presses it. Its ring shows while the view
    // has the focus from the keyboard.
    std::optional<IndexPath> focusedIndexPath() const { return focused_; }
    bool showsFocusRing() const;

    // The widget cells live in (content coordinates).
    QWidget* contentWidget() const { return widget(); }
    void setBackgroundColor(const QColor& color);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    struct Key {
        std::string kind;  // empty for cells
        IndexPath indexPath;
        auto operator<=>(const Key&) const = default;
    };
    struct Update {
        enum Kind { Insert, Delete, Reload } kind;
        std::vector<IndexPath> indexPaths;
    };
    void computeLayout();
    void layoutVisible();
    void enqueue(CollectionReusableView* view);
    void place(CollectionReusableView* view, const QRectF& frame);
    void applySelection(const IndexPath& indexPath, bool selected);
    void tapped(const IndexPath& indexPath);
    // Every item in order, section after section.
    std::vector<IndexPath> allIndexPaths() const;
    void moveFocus(const std::optional<IndexPath>& indexPath);
    void updateFocusRing();

    CollectionViewFlowLayout layout_;
    CollectionViewDataSource* dataSource_ = nullptr;
    CollectionViewDelegate* delegate_ = nullptr;
    std::map<std::string, Factory> cellFactories_;
    std::map<std::pair<std::string, std::string>, Factory> supplementaryFactories_;
    std::map<std::string, std::vector<CollectionReusableView*>> reuseQueues_;
    std::map<Key, CollectionReusableView*> visible_;
    std::vector<int64_t> counts_;
    std::vector<std::vector<QRectF>> itemFrames_;
    std::vector<QRectF> headerFrames_, footerFrames_;
    double contentHeight_ = 0;
    std::set<IndexPath> selected_;
    bool multipleSelection_ = false;
    std::vector<Update>* batch_ = nullptr;
    std::optional<IndexPath> pressed_;
    QPointer<LongPressGestureRecognizer> pressedLongPress_;
    std::vector<std::pair<QPointer<QObject>, std::function<void()>>> layoutObservers_;
    std::optional<IndexPath> focused_;
    bool keyboardFocus_ = false;
    QWidget* focusRing_ = nullptr;
};

// A screen whose root view is a collection view.
class CollectionViewController : public ViewController {
public:
    explicit CollectionViewController(CollectionViewFlowLayout layout) : layout_(layout) {}
    CollectionView* collectionView();
    void loadView() override;
    void viewWillAppear(bool animated) override;
    // Whether the selection is cleared each time the screen appears.
    bool clearsSelectionOnViewWillAppear = true;

private:
    CollectionViewFlowLayout layout_;
};

}  // namespace platform
