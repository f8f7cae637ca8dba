#pragma once

#include <QColor>
#include <QLabel>
#include <QPixmap>
#include <QWidget>

namespace platform {

// Opacity of a view and everything in it, 0 to 1.
double alpha(const QWidget* view);
void setAlpha(QWidget* view, double alpha);

// The platform's plain view: a background colour (clear by default) or a
// background pattern, optionally with rounded corners that clip.
class View : public QWidget {
public:
    explicit View(QWidget* parent = nullptr);

    QColor backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(const QColor& color);
    // Tiles `pattern` over the view, like a pattern colour.
    void setBackgroundPattern(const QPixmap& pattern);
    const QPixmap& backgroundPattern() const { return pattern_; }
    void setCornerRadius(double radius);
    double cornerRadius() const { return cornerRadius_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateMask();
    QColor backgroundColor_ = Qt::transparent;
    QPixmap pattern_;
    double cornerRadius_ = 0;
};

// Shows one image centred in its bounds at the image's own size, scaled
// about the centre by its transform.
class ImageView : public View {
public:
    explicit ImageView(QWidget* parent = nullptr);
    void setImage(const QPixmap& image);
    const QPixmap& image() const { return image_; }
    // Sizes the view to the image, keeping its centre.
    void sizeToFit();
    // Scale about the centre; (1, 1) is the identity.
    QSizeF scale() const { return scale_; }
    void setScale(QSizeF scale);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap image_;
    QSizeF scale_{1, 1};
};

// A label with the given font, colour and alignment.
QLabel* makeLabel(QWidget* parent, const QFont& font, const QColor& color,
                  Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter);
void setTextColor(QLabel* label, const QColor& color);

}  // namespace platform
