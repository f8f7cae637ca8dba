#include "ui/platform/CollectionView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

#include "foundation/Fatal.h"
#include "ui/platform/Animation.h"
#include "ui/platform/Geometry.h"
#include "ui/platform/Palette.h"

namespace platform {

namespace {
constexpr double kBatchUpdateDuration = 0.25;
constexpr int kFocusRingWidth = 2;
constexpr int kFocusRingOutset = 3;

// A ring around the item the keyboard is on, drawn over the cells so that
// it shows whatever a cell looks like.
class FocusRing : public QWidget {
public:
    explicit FocusRing(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        // White: it shows on the dark cells and on the accent of a playing one.
        p.setPen(QPen(Color::c1(), kFocusRingWidth));
        const double inset = kFocusRingWidth / 2.0;
        p.drawRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), 6, 6);
    }
};
}  // namespace

CollectionReusableView::CollectionReusableView(QWidget* parent) : View(parent) {
    // The collection view does the hit-testing: taps go to the item whose
    // frame holds them, never to a neighbour's overflow.
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void CollectionReusableView::setClipsToBounds(bool clips) {
    clips_ = clips;
    setFrame(frame_);
}

void CollectionReusableView::setFrame(const QRectF& frame) {
    frame_ = frame;
    const int m = overflowMargin();
    setGeometry(pixelRect(frame).adjusted(-m, -m, m, m));
    layoutSubviews();
}

QRectF CollectionReusableView::boundsRect() const {
    const int m = overflowMargin();
    return QRectF(m, m, frame_.width(), frame_.height());
}

CollectionViewCell::CollectionViewCell(QWidget* parent) : CollectionReusableView(parent) {
    contentView_ = new View(this);
}

void CollectionViewCell::prepareForReuse() {
    setSelected(false);
    setHighlighted(false);
}

LongPressGestureRecognizer* CollectionViewCell::addLongPressGestureRecognizer(
    LongPressGestureRecognizer::Action action) {
    delete longPress_;
    longPress_ = new LongPressGestureRecognizer(std::move(action), this);
    return longPress_;
}

void CollectionViewCell::layoutSubviews() {
    contentView_->setGeometry(pixelRect(boundsRect()));
}

CollectionView::CollectionView(CollectionViewFlowLayout layout, QWidget* parent)
    : QScrollArea(parent), layout_(layout) {
    setFrameShape(QFrame::NoFrame);
    // Like a phone, no scroll bars take width from the layout; wheel and
    // keys still scroll.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(false);
    auto* content = new QWidget();
    content->setAttribute(Qt::WA_TranslucentBackground);
    setWidget(content);
    content->installEventFilter(this);
    setFocusPolicy(Qt::StrongFocus);
    setBackgroundColor(Qt::transparent);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { layoutVisible(); });
}

CollectionView::~CollectionView() {
    // A batch's completion may ask this view for its items: end it while
    // the view is whole.
    removeAllAnimations(this);
}

void CollectionView::setBackgroundColor(const QColor& color) {
    QPalette p = palette();
    p.setColor(QPalette::Window, color);
    p.setColor(QPalette::Base, color);
    setPalette(p);
    viewport()->setAutoFillBackground(color.alpha() > 0);
    viewport()->setPalette(p);
    widget()->setAutoFillBackground(false);
}

void CollectionView::registerCell(Factory factory, const std::string& identifier) {
    cellFactories_[identifier] = std::move(factory);
}

void CollectionView::registerSupplementary(Factory factory, const std::string& kind,
                                           const std::string& identifier) {
    supplementaryFactories_[{kind, identifier}] = std::move(factory);
}

CollectionReusableView* CollectionView::dequeueReusableCell(const std::string& identifier,
                                                            const IndexPath&) {
    auto& queue = reuseQueues_[identifier];
    if (!queue.empty()) {
        CollectionReusableView* view = queue.back();
        queue.pop_back();
        view->prepareForReuse();
        return view;
    }
    auto it = cellFactories_.find(identifier);
    if (it == cellFactories_.end())
        fatal("could not dequeue a cell with identifier " + identifier +
              " - must register a class for the identifier");
    CollectionReusableView* view = it->second();
    view->reuseIdentifier_ = identifier;
    view->setParent(widget());
    return view;
}

CollectionReusableView* CollectionView::dequeueReusableSupplementaryView(
    const std::string& kind, const std::string& identifier, const IndexPath&) {
    const std::string queueKey = kind + "/" + identifier;
    auto& queue = reuseQueues_[queueKey];
    if (!queue.empty()) {
        CollectionReusableView* view = queue.back();
        queue.pop_back();
        view->prepareForReuse();
        return view;
    }
    auto it = supplementaryFactories_.find({kind, identifier});
    if (it == supplementaryFactories_.end())
        fatal("could not dequeue a view of kind " + kind + " with identifier " + identifier);
    CollectionReusableView* view = it->second();
    view->reuseIdentifier_ = queueKey;
    view->setParent(widget());
    return view;
}

int64_t CollectionView::numberOfItemsInSection(int64_t section) const {
    return section >= 0 && section < numberOfSections() ? counts_[static_cast<size_t>(section)] : 0;
}

void CollectionView::enqueue(CollectionReusableView* view) {
    view->hide();
    reuseQueues_[view->reuseIdentifier_].push_back(view);
}

void CollectionView::reloadData() {
    for (auto& [key, view] : visible_) enqueue(view);
    visible_.clear();
    counts_.clear();
    if (dataSource_) {
        const int64_t sections = dataSource_->numberOfSectionsInCollectionView(*this);
        for (int64_t s = 0; s < sections; ++s)
            counts_.push_back(dataSource_->numberOfItemsInSection(*this, s));
    }
    std::erase_if(selected_, [this](const IndexPath& ip) {
        return ip.row >= numberOfItemsInSection(ip.section);
    });
    computeLayout();
    layoutVisible();
}

void CollectionView::invalidateLayout() {
    computeLayout();
    for (auto& [key, view] : visible_) {
        place(view, key.kind.empty()
                        ? layoutFrameForItem(key.indexPath)
                        : layoutFrameForSupplementary(key.kind, key.indexPath.section));
    }
    layoutVisible();
}

void CollectionView::computeLayout() {
    // The scroll area's own size, which is current inside its resize event
    // (the viewport follows only afterwards); no scroll bars take from it.
    const double W = contentsRect().width();
    const auto& L = layout_;
    itemFrames_.assign(counts_.size(), {});
    headerFrames_.assign(counts_.size(), {});
    footerFrames_.assign(counts_.size(), {});
    const double avail = W - L.sectionInset.left() - L.sectionInset.right();
    const double itemW = L.itemSize.width(), itemH = L.itemSize.height();
    // As many items as fit with the minimum spacing; the spare width is
    // shared out between them so that each row is justified.
    const int64_t perRow = std::max<int64_t>(
        1, static_cast<int64_t>(std::floor(
               (avail + L.minimumInteritemSpacing) / (itemW + L.minimumInteritemSpacing) + 1e-9)));
    const double spacing = perRow > 1 ? (avail - perRow * itemW) / (perRow - 1) : 0;
    double y = 0;
    for (size_t s = 0; s < counts_.size(); ++s) {
        if (L.headerReferenceSize.height() > 0) {
            headerFrames_[s] = QRectF(0, y, W, L.headerReferenceSize.height());
            y += L.headerReferenceSize.height();
        }
        y += L.sectionInset.top();
        const int64_t n = counts_[s];
        auto& frames = itemFrames_[s];
        for (int64_t i = 0; i < n; ++i) {
            const int64_t row = i / perRow, col = i % perRow;
            frames.emplace_back(L.sectionInset.left() + col * (itemW + spacing),
                                y + row * (itemH + L.minimumLineSpacing), itemW, itemH);
        }
        const int64_t rows = (n + perRow - 1) / perRow;
        if (rows > 0) y += rows * itemH + (rows - 1) * L.minimumLineSpacing;
        y += L.sectionInset.bottom();
        if (L.footerReferenceSize.height() > 0) {
            footerFrames_[s] = QRectF(0, y, W, L.footerReferenceSize.height());
            y += L.footerReferenceSize.height();
        }
    }
    contentHeight_ = y;
    // At least as tall as the view, so that views placed below short
    // content (in the visible area) still show; the scroll range is the same.
    widget()->resize(static_cast<int>(W),
                     std::max(static_cast<int>(std::ceil(y)), contentsRect().height()));
    std::erase_if(layoutObservers_, [](const auto& o) { return !o.first; });
    for (const auto& [context, observer] : std::vector(layoutObservers_))
        if (context) observer();
}

void CollectionView::observeLayout(QObject* context, std::function<void()> observer) {
    layoutObservers_.emplace_back(context, std::move(observer));
}

QRectF CollectionView::layoutFrameForItem(const IndexPath& ip) const {
    if (ip.section < 0 || static_cast<size_t>(ip.section) >= itemFrames_.size()) return {};
    const auto& frames = itemFrames_[static_cast<size_t>(ip.section)];
    return ip.row >= 0 && static_cast<size_t>(ip.row) < frames.size()
               ? frames[static_cast<size_t>(ip.row)]
               : QRectF();
}

QRectF CollectionView::layoutFrameForSupplementary(const std::string& kind, int64_t section) const {
    const auto& frames =
        kind == kCollectionElementKindSectionHeader ? headerFrames_ : footerFrames_;
    return section >= 0 && static_cast<size_t>(section) < frames.size()
               ? frames[static_cast<size_t>(section)]
               : QRectF();
}

QSizeF CollectionView::contentSize() const {
    return QSizeF(contentsRect().width(), contentHeight_);
}

QPointF CollectionView::contentOffset() const {
    return QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

void CollectionView::setContentOffset(QPointF offset) {
    verticalScrollBar()->setValue(static_cast<int>(std::lround(offset.y())));
}

void CollectionView::observeContentOffset(QObject* context, std::function<void(QPointF)> observer) {
    connect(verticalScrollBar(), &QScrollBar::valueChanged, context,
            [this, observer = std::move(observer)] { observer(contentOffset()); });
}

void CollectionView::place(CollectionReusableView* view, const QRectF& frame) {
    view->setFrame(frame);
}

void CollectionView::layoutVisible() {
    if (!dataSource_) return;
    const QRect area = contentsRect();
    const double margin = area.height() / 2.0;
    const QRectF visibleRect(0, contentOffset().y() - margin, area.width(),
                             area.height() + 2 * margin);
    std::set<Key> wanted;
    for (size_t s = 0; s < counts_.size(); ++s) {
        const auto section = static_cast<int64_t>(s);
        for (const char* kind :
             {kCollectionElementKindSectionHeader, kCollectionElementKindSectionFooter}) {
            const QRectF f = layoutFrameForSupplementary(kind, section);
            if (!f.isEmpty() && f.intersects(visibleRect)) wanted.insert({kind, {section, 0}});
        }
        for (size_t r = 0; r < itemFrames_[s].size(); ++r) {
            if (itemFrames_[s][r].intersects(visibleRect))
                wanted.insert({"", {section, static_cast<int64_t>(r)}});
        }
    }
    for (auto it = visible_.begin(); it != visible_.end();) {
        if (!wanted.count(it->first)) {
            enqueue(it->second);
            it = visible_.erase(it);
        } else {
            ++it;
        }
    }
    for (const Key& key : wanted) {
        if (visible_.count(key)) continue;
        CollectionReusableView* view = nullptr;
        QRectF frame;
        if (key.kind.empty()) {
            view = dataSource_->cellForItemAtIndexPath(*this, key.indexPath);
            frame = layoutFrameForItem(key.indexPath);
        } else {
            view = dataSource_->viewForSupplementaryElementOfKind(*this, key.kind, key.indexPath);
            frame = layoutFrameForSupplementary(key.kind, key.indexPath.section);
        }
        if (!view) continue;
        if (view->parentWidget() != widget()) view->setParent(widget());
        visible_[key] = view;
        place(view, frame);
        if (key.kind.empty()) {
            auto* cell = static_cast<CollectionViewCell*>(view);
            const bool selected = selected_.count(key.indexPath) > 0;
            if (cell->isSelected() != selected) cell->setSelected(selected);
        }
        view->show();
    }
    updateFocusRing();
}

void CollectionView::performBatchUpdates(const std::function<void()>& updates,
                                         std::function<void(bool)> completion) {
    std::vector<Update> batch;
    batch_ = &batch;
    if (updates) updates();
    batch_ = nullptr;

    std::vector<int64_t> before = counts_;
    std::vector<int64_t> after;
    if (dataSource_) {
        const int64_t sections = dataSource_->numberOfSectionsInCollectionView(*this);
        for (int64_t s = 0; s < sections; ++s)
            after.push_back(dataSource_->numberOfItemsInSection(*this, s));
    }
    std::map<int64_t, std::vector<int64_t>> inserted, deleted;
    for (const auto& u : batch) {
        for (const auto& ip : u.indexPaths) {
            if (u.kind == Update::Insert) inserted[ip.section].push_back(ip.row);
            if (u.kind == Update::Delete) deleted[ip.section].push_back(ip.row);
        }
    }
    if (after.size() != before.size())
        fatal("Invalid batch update: the number of sections changed");
    for (size_t s = 0; s < after.size(); ++s) {
        const auto section = static_cast<int64_t>(s);
        const int64_t expected = before[s] + static_cast<int64_t>(inserted[section].size()) -
                                 static_cast<int64_t>(deleted[section].size());
        if (expected != after[s])
            fatal("Invalid batch update: section " + std::to_string(s) + " has " +
                  std::to_string(after[s]) + " items, expected " + std::to_string(expected));
    }
    // Deletions count in the old numbering, insertions in the new one.
    std::set<IndexPath> moved;
    for (IndexPath ip : selected_) {
        auto& dels = deleted[ip.section];
        if (std::find(dels.begin(), dels.end(), ip.row) != dels.end()) continue;
        ip.row -= std::count_if(dels.begin(), dels.end(), [&](int64_t d) { return d < ip.row; });
        auto ins = inserted[ip.section];
        std::sort(ins.begin(), ins.end());
        for (int64_t i : ins)
            if (i <= ip.row) ++ip.row;
        moved.insert(ip);
    }
    selected_ = std::move(moved);
    for (auto& [key, view] : visible_) enqueue(view);
    visible_.clear();
    counts_ = std::move(after);
    computeLayout();
    layoutVisible();
    animate(kBatchUpdateDuration, 0, AnimationCurve::EaseInOut, {}, std::move(completion), this);
}

void CollectionView::insertItemsAtIndexPaths(const std::vector<IndexPath>& indexPaths) {
    if (batch_)
        batch_->push_back({Update::Insert, indexPaths});
    else
        performBatchUpdates([&] { insertItemsAtIndexPaths(indexPaths); });
}

void CollectionView::deleteItemsAtIndexPaths(const std::vector<IndexPath>& indexPaths) {
    if (batch_)
        batch_->push_back({Update::Delete, indexPaths});
    else
        performBatchUpdates([&] { deleteItemsAtIndexPaths(indexPaths); });
}

void CollectionView::reloadItemsAtIndexPaths(const std::vector<IndexPath>& indexPaths) {
    if (batch_)
        batch_->push_back({Update::Reload, indexPaths});
    else
        performBatchUpdates([&] { reloadItemsAtIndexPaths(indexPaths); });
}

void CollectionView::applySelection(const IndexPath& indexPath, bool selected) {
    if (selected)
        selected_.insert(indexPath);
    else
        selected_.erase(indexPath);
    if (CollectionViewCell* cell = cellForItemAtIndexPath(indexPath)) cell->setSelected(selected);
}

void CollectionView::selectItemAtIndexPath(const IndexPath& indexPath, bool) {
    if (!multipleSelection_) {
        for (const IndexPath& other : indexPathsForSelectedItems())
            if (other != indexPath) applySelection(other, false);
    }
    applySelection(indexPath, true);
}

void CollectionView::deselectItemAtIndexPath(const IndexPath& indexPath, bool) {
    applySelection(indexPath, false);
}

std::vector<IndexPath> CollectionView::indexPathsForSelectedItems() const {
    return {selected_.begin(), selected_.end()};
}

CollectionViewCell* CollectionView::cellForItemAtIndexPath(const IndexPath& indexPath) const {
    auto it = visible_.find({"", indexPath});
    return it == visible_.end() ? nullptr : static_cast<CollectionViewCell*>(it->second);
}

CollectionReusableView* CollectionView::supplementaryViewForElementKind(
    const std::string& kind, const IndexPath& indexPath) const {
    auto it = visible_.find({kind, {indexPath.section, 0}});
    return it == visible_.end() ? nullptr : it->second;
}

std::vector<CollectionViewCell*> CollectionView::visibleCells() const {
    std::vector<CollectionViewCell*> cells;
    for (const auto& [key, view] : visible_)
        if (key.kind.empty()) cells.push_back(static_cast<CollectionViewCell*>(view));
    return cells;
}

std::optional<IndexPath> CollectionView::indexPathForItemAtPoint(QPointF point) const {
    for (size_t s = 0; s < itemFrames_.size(); ++s)
        for (size_t r = 0; r < itemFrames_[s].size(); ++r)
            if (itemFrames_[s][r].contains(point))
                return IndexPath{static_cast<int64_t>(s), static_cast<int64_t>(r)};
    return std::nullopt;
}

void CollectionView::tapped(const IndexPath& indexPath) {
    if (multipleSelection_ && selected_.count(indexPath)) {
        applySelection(indexPath, false);
        if (delegate_) delegate_->didDeselectItemAtIndexPath(*this, indexPath);
        return;
    }
    if (!multipleSelection_) {
        for (const IndexPath& other : indexPathsForSelectedItems()) {
            if (other == indexPath) continue;
            applySelection(other, false);
            if (delegate_) delegate_->didDeselectItemAtIndexPath(*this, other);
        }
    }
    applySelection(indexPath, true);
    if (delegate_) delegate_->didSelectItemAtIndexPath(*this, indexPath);
}

bool CollectionView::eventFilter(QObject* watched, QEvent* event) {
    if (watched != widget()) return QScrollArea::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            auto* e = static_cast<QMouseEvent*>(event);
            if (e->button() == Qt::RightButton) {
                // The desktop's context click: what a long press would open.
                const auto at = indexPathForItemAtPoint(e->position());
                if (auto* cell = at ? cellForItemAtIndexPath(*at) : nullptr)
                    if (auto* longPress = cell->longPressGestureRecognizer())
                        longPress->recognizeAt(e->position());
                return true;
            }
            // A quick second click arrives as a double click: it is a press
            // like any other (a broadcaster double-taps to stop a sound).
            // Only the first button down starts a press.
            if (e->button() != Qt::LeftButton || pressed_) return true;
            pressed_ = indexPathForItemAtPoint(e->position());
            keyboardFocus_ = false;
            if (pressed_) focused_ = pressed_;
            updateFocusRing();
            pressedLongPress_ = nullptr;
            if (pressed_) {
                if (auto* cell = cellForItemAtIndexPath(*pressed_)) {
                    cell->setHighlighted(true);
                    pressedLongPress_ = cell->longPressGestureRecognizer();
                }
            }
            if (pressedLongPress_) pressedLongPress_->touchBegan(e->position());
            return true;
        }
        case QEvent::MouseMove:
            if (pressedLongPress_)
                pressedLongPress_->touchMoved(static_cast<QMouseEvent*>(event)->position());
            return true;
        case QEvent::MouseButtonRelease: {
            auto* e = static_cast<QMouseEvent*>(event);
            if (e->button() != Qt::LeftButton) return true;
            const auto pressed = std::exchange(pressed_, std::nullopt);
            bool longPressed = false;
            if (auto longPress = std::exchange(pressedLongPress_, nullptr)) {
                longPress->touchEnded();
                longPressed = longPress->recognized();
            }
            if (!pressed) return true;
            if (auto* cell = cellForItemAtIndexPath(*pressed)) cell->setHighlighted(false);
            if (!longPressed && layoutFrameForItem(*pressed).contains(e->position()))
                tapped(*pressed);
            return true;
        }
        default:
            return QScrollArea::eventFilter(watched, event);
    }
}

std::vector<IndexPath> CollectionView::allIndexPaths() const {
    std::vector<IndexPath> all;
    for (size_t s = 0; s < counts_.size(); ++s)
        for (int64_t r = 0; r < counts_[s]; ++r) all.push_back({static_cast<int64_t>(s), r});
    return all;
}

bool CollectionView::showsFocusRing() const {
    return keyboardFocus_ && hasFocus() && focused_ && !layoutFrameForItem(*focused_).isEmpty();
}

void CollectionView::updateFocusRing() {
    if (focused_ && layoutFrameForItem(*focused_).isEmpty()) {
        // The item went away: the nearest one before it takes the focus.
        const auto all = allIndexPaths();
        auto it = std::lower_bound(all.begin(), all.end(), *focused_);
        focused_ = all.empty() ? std::nullopt
                               : std::optional(it == all.end() ? all.back() : *it);
    }
    if (!showsFocusRing()) {
        if (focusRing_) focusRing_->hide();
        return;
    }
    // Made when the keyboard is first used.
    if (!focusRing_) focusRing_ = new FocusRing(widget());
    const int m = kFocusRingOutset;
    focusRing_->setGeometry(pixelRect(layoutFrameForItem(*focused_)).adjusted(-m, -m, m, m));
    focusRing_->raise();
    focusRing_->show();
    focusRing_->update();
}

void CollectionView::moveFocus(const std::optional<IndexPath>& indexPath) {
    keyboardFocus_ = true;
    if (indexPath) {
        focused_ = indexPath;
        // Scrolled into view, with the ring.
        const QRectF frame = layoutFrameForItem(*indexPath);
        const double top = contentOffset().y(), height = contentsRect().height();
        if (frame.top() - kFocusRingOutset < top)
            setContentOffset({0, std::max(0.0, frame.top() - kFocusRingOutset)});
        else if (frame.bottom() + kFocusRingOutset > top + height)
            setContentOffset({0, frame.bottom() + kFocusRingOutset - height});
    }
    updateFocusRing();
}

void CollectionView::focusInEvent(QFocusEvent* event) {
    QScrollArea::focusInEvent(event);
    const auto all = allIndexPaths();
    const Qt::FocusReason reason = event->reason();
    if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason) {
        // Entering by Tab starts at the near end.
        if (!all.empty()) moveFocus(reason == Qt::TabFocusReason ? all.front() : all.back());
        return;
    }
    if (!focused_ && !all.empty()) focused_ = all.front();
    updateFocusRing();
}

void CollectionView::focusOutEvent(QFocusEvent* event) {
    QScrollArea::focusOutEvent(event);
    updateFocusRing();
}

bool CollectionView::focusNextPrevChild(bool next) {
    // Tab walks the items, then leaves for the next control.
    const auto all = allIndexPaths();
    if (hasFocus() && focused_ && !all.empty() && !showsFocusRing()) {
        moveFocus(focused_);
        return true;
    }
    if (hasFocus() && focused_ && !all.empty()) {
        auto it = std::find(all.begin(), all.end(), *focused_);
        if (it != all.end()) {
            if (next && it + 1 != all.end()) {
                moveFocus(*(it + 1));
                return true;
            }
            if (!next && it != all.begin()) {
                moveFocus(*(it - 1));
                return true;
            }
        }
    }
    return QScrollArea::focusNextPrevChild(next);
}

void CollectionView::keyPressEvent(QKeyEvent* event) {
    const auto all = allIndexPaths();
    if (all.empty() || (event->modifiers() & ~Qt::KeypadModifier)) {
        QScrollArea::keyPressEvent(event);
        return;
    }
    if (!focused_) focused_ = all.front();
    const IndexPath current = *focused_;
    const int k = event->key();
    if (!showsFocusRing() &&
        (k == Qt::Key_Left || k == Qt::Key_Right || k == Qt::Key_Up || k == Qt::Key_Down)) {
        // The first move shows where the keyboard is before it goes on.
        moveFocus(current);
        return;
    }
    const QRectF here = layoutFrameForItem(current);
    // The nearest item in the row above or below.
    auto vertical = [&](bool down) -> std::optional<IndexPath> {
        std::optional<IndexPath> best;
        double bestRowY = 0, bestDx = 0;
        for (const IndexPath& ip : all) {
            const QRectF f = layoutFrameForItem(ip);
            if (down ? f.top() <= here.top() + 1 : f.top() >= here.top() - 1) continue;
            const double dx = std::abs(f.center().x() - here.center().x());
            const bool closerRow = !best || (down ? f.top() < bestRowY - 1 : f.top() > bestRowY + 1);
            const bool sameRow = best && std::abs(f.top() - bestRowY) <= 1;
            if (closerRow || (sameRow && dx < bestDx)) {
                best = ip;
                bestRowY = f.top();
                bestDx = dx;
            }
        }
        return best;
    };
    auto it = std::find(all.begin(), all.end(), current);
    switch (event->key()) {
        case Qt::Key_Left:
            moveFocus(it != all.begin() ? std::optional(*(it - 1)) : std::nullopt);
            return;
        case Qt::Key_Right:
            moveFocus(it + 1 != all.end() ? std::optional(*(it + 1)) : std::nullopt);
            return;
        case Qt::Key_Up:
            moveFocus(vertical(false));
            return;
        case Qt::Key_Down:
            moveFocus(vertical(true));
            return;
        case Qt::Key_Space:
            moveFocus(current);
            if (!event->isAutoRepeat()) tapped(current);
            return;
        case Qt::Key_Menu:
            moveFocus(current);
            if (auto* cell = cellForItemAtIndexPath(current))
                if (auto* longPress = cell->longPressGestureRecognizer())
                    longPress->recognizeAt(here.center());
            return;
        default:
            QScrollArea::keyPressEvent(event);
    }
}

void CollectionView::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    invalidateLayout();
}

CollectionView* CollectionViewController::collectionView() {
    return static_cast<CollectionView*>(view());
}

void CollectionViewController::loadView() {
    setView(new CollectionView(layout_));
}

void CollectionViewController::viewWillAppear(bool animated) {
    ViewController::viewWillAppear(animated);
    if (!clearsSelectionOnViewWillAppear) return;
    for (const IndexPath& ip : collectionView()->indexPathsForSelectedItems())
        collectionView()->deselectItemAtIndexPath(ip, animated);
}

}  // namespace platform
