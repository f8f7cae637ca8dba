#pragma once

#include <memory>
#include <optional>
#include <string>

#include "foundation/Fatal.h"
#include "ui/platform/CollectionView.h"

// A cell that shows one item.
template <typename Item>
class QELCell {
public:
    virtual ~QELCell() = default;
    virtual void configWithItem(const Item& item) = 0;
};

// A section header that shows one item (the section's title).
template <typename Item>
class QELCellHeaderView {
public:
    virtual ~QELCellHeaderView() = default;
    virtual void configWithItem(const Item& item) = 0;
};

// Names the reuse identifiers the data source dequeues with.
template <typename Object>
class QELDataSourceDelegate {
public:
    virtual ~QELDataSourceDelegate() = default;
    virtual std::string cellIdentifierForObject(const Object& object) = 0;
    virtual std::optional<std::string> supplementaryIdentifierForObject(const Object& object) = 0;
};

// Feeds a collection view from a data provider: counts from the provider,
// cells dequeued by the identifiers the delegate names and configured with
// the provider's items.
template <typename Cell, typename DataProvider>
class QELCollectionViewDataSource : public platform::CollectionViewDataSource {
public:
    using Object = typename DataProvider::ItemType;
    using Delegate = QELDataSourceDelegate<Object>;

    QELCollectionViewDataSource(platform::CollectionView* collectionView,
                                std::shared_ptr<DataProvider> dataProvider,
                                std::weak_ptr<Delegate> delegate)
        : collectionView_(collectionView),
          dataProvider_(std::move(dataProvider)),
          delegate_(std::move(delegate)) {
        collectionView_->setDataSource(this);
        collectionView_->reloadData();
    }
    ~QELCollectionViewDataSource() override {
        if (collectionView_ && collectionView_->dataSource() == this)
            collectionView_->setDataSource(nullptr);
    }

    platform::CollectionView* collectionView() const { return collectionView_; }
    const std::shared_ptr<DataProvider>& dataProvider() const { return dataProvider_; }

    int64_t numberOfSectionsInCollectionView(platform::CollectionView&) override {
        return dataProvider_->numberOfSections();
    }
    int64_t numberOfItemsInSection(platform::CollectionView&, int64_t section) override {
        return dataProvider_->numberOfItemsInSection(section);
    }
    platform::CollectionViewCell* cellForItemAtIndexPath(
        platform::CollectionView& collectionView, const platform::IndexPath& indexPath) override {
        const Object object = dataProvider_->objectAtIndexPath(indexPath);
        auto delegate = delegate_.lock();
        if (!delegate) platform::fatal("the data source's delegate is gone");
        const std::string identifier = delegate->cellIdentifierForObject(object);
        auto* cell = dynamic_cast<Cell*>(collectionView.dequeueReusableCell(identifier, indexPath));
        if (!cell) platform::fatal("Unexpected cell type at " + indexPath.description());
        cell->configWithItem(object);
        return cell;
    }

private:
    QPointer<platform::CollectionView> collectionView_;
    std::shared_ptr<DataProvider> dataProvider_;
    std::weak_ptr<Delegate> delegate_;
};
