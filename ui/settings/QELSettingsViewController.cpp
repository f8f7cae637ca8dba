#include "ui/settings/QELSettingsViewController.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QCoreApplication>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>

#include "audio/Loudness.h"
#include "audio/VirtualDevices.h"
#include "core/settings/QELAudioRouting.h"
#include "ui/platform/NavigationController.h"
#include "ui/platform/Palette.h"
#include "ui/platform/View.h"
#include "ui/utils/QELCoreText.h"

using namespace platform;

namespace {

constexpr int kVolumeSteps = 100;

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

QSlider* volumeSlider(float value) {
    auto* slider = new QSlider(Qt::Horizontal);
    slider->setRange(0, kVolumeSteps);
    slider->setValue(static_cast<int>(value * kVolumeSteps + 0.5f));
    // One change when the user lets go, not one per pixel dragged.
    slider->setTracking(false);
    return slider;
}

// Fills `box` with `first` (no device) and `devices`, selecting `chosen`; a
// chosen device that is not there stays visible as such, so the choice is
// neither lost nor silently changed.
void fill(QComboBox* box, const QString& first, const std::vector<SoundServerDevice>& devices,
          const std::string& chosen, bool skipOurs) {
    box->clear();
    box->addItem(first, QString());
    for (const SoundServerDevice& d : devices) {
        if (skipOurs && d.isOurs) continue;
        box->addItem(text(d.description), text(d.name));
    }
    int index = box->findData(text(chosen));
    if (index < 0) {
        box->addItem(QELSettingsViewController::tr("%1（不在）").arg(text(chosen)), text(chosen));
        index = box->count() - 1;
    }
    box->setCurrentIndex(index);
}

// The wheel over a control the user has not clicked into scrolls the page
// instead: scrolling past the stream output must not switch it on air.
class PageScrollsFirst : public QObject {
public:
    explicit PageScrollsFirst(QScrollArea* page) : QObject(page), page_(page) {}

    void guard(QWidget* control) {
        // Not WheelFocus: a wheel would give it the focus, and then the turn.
        control->setFocusPolicy(Qt::StrongFocus);
        control->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Wheel || static_cast<QWidget*>(watched)->hasFocus())
            return false;
        QCoreApplication::sendEvent(page_->verticalScrollBar(), event);
        return true;
    }

private:
    QScrollArea* page_;
};

std::string chosen(const QComboBox* box) {
    return box->currentData().toString().toStdString();
}

}  // namespace

QELSettingsViewController::QELSettingsViewController(QELAudioRouting& routing)
    : routing_(routing), settings_(routing.settings()) {
    setTitle(tr("设置"));
    navigationItem().leftBarButtonItem = std::make_shared<BarButtonItem>(
        BarButtonItem{tr("返回"), {}, [this] {
                          if (NavigationController* nav = navigationController()) {
                              nav->popViewController(true);
                          }
                      }});
}

QELSettingsViewController::~QELSettingsViewController() {
    routing_.setDevicesChangedHandler({});
}

void QELSettingsViewController::loadView() {
    auto* root = new View();
    root->setBackgroundColor(Color::c6());
    root->setStyleSheet(
        QStringLiteral(
            "QScrollArea, QScrollArea > QWidget > QWidget#settingsContent { background: %6; }"
            "QLabel, QCheckBox { color: %1; } QLabel[role=\"section\"] { color: %2; }"
            "QCheckBox::indicator { width: 16px; height: 16px; border: 1px solid %2;"
            " border-radius: 3px; background: %3; }"
            "QCheckBox::indicator:checked { background: %4; border-color: %4; }"
            "QComboBox { color: %1; background: %3; border: 1px solid %5; border-radius: 4px;"
            " padding: 3px 8px; }"
            "QComboBox:disabled, QCheckBox:disabled { color: %2; }"
            "QComboBox QAbstractItemView { color: %1; background: %3;"
            " selection-background-color: %4; }")
            .arg(Color::c2().name(), Color::c3().name(), Color::c5().name(), Color::c9().name(),
                 Color::c4().name(), Color::c6().name()));
    auto* scroll = new QScrollArea(root);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* content = new QWidget();
    content->setObjectName(QStringLiteral("settingsContent"));
    sections_ = new QVBoxLayout(content);
    sections_->setContentsMargins(15, 15, 15, 15);
    sections_->setSpacing(10);
    sections_->addStretch(1);
    scroll->setWidget(content);
    auto* layout = new QVBoxLayout(root);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll);
    setView(root);

    note_ = new QLabel();
    note_->setWordWrap(true);
    note_->setFont(Font::t2());
    routingSwitch_ =
        new QCheckBox(tr("虚拟麦克风（%1）").arg(text(VirtualDevices::kMicrophoneDescription)));
    routingSwitch_->setChecked(settings_.routingEnabled());
    streamOutput_ = new QComboBox();
    monitorOutput_ = new QComboBox();
    microphone_ = new QComboBox();
    makerInput_ = new QComboBox();
    effectsVolume_ = volumeSlider(settings_.effectsVolume());
    streamVolume_ = volumeSlider(settings_.streamVolume());
    monitorVolume_ = volumeSlider(settings_.monitorVolume());
    microphoneVolume_ = volumeSlider(settings_.microphoneVolume());

    auto* output = new QWidget();
    auto* form = new QFormLayout(output);
    form->addRow(tr("音效音量"), effectsVolume_);
    form->addRow(routingSwitch_);
    form->addRow(tr("直播输出"), streamOutput_);
    form->addRow(tr("直播音量"), streamVolume_);
    form->addRow(tr("监听输出"), monitorOutput_);
    form->addRow(tr("监听音量"), monitorVolume_);
    form->addRow(note_);
    addSection(tr("音效输出"), output);

    auto* mic = new QWidget();
    form = new QFormLayout(mic);
    form->addRow(tr("混入麦克风"), microphone_);
    form->addRow(tr("麦克风音量"), microphoneVolume_);
    addSection(tr("麦克风"), mic);

    auto* maker = new QWidget();
    form = new QFormLayout(maker);
    form->addRow(tr("录音输入"), makerInput_);
    addSection(tr("制作"), maker);

    // Kept at once: the next import or save reads them.
    loudnessSwitch_ = new QCheckBox(tr("导入和录音统一响度"));
    loudnessSwitch_->setChecked(settings_.normaliseLoudness());
    loudnessTarget_ = new QSpinBox();
    loudnessTarget_->setRange(static_cast<int>(platform::kMinLoudnessTarget),
                              static_cast<int>(platform::kMaxLoudnessTarget));
    loudnessTarget_->setSuffix(QStringLiteral(" LUFS"));
    loudnessTarget_->setValue(static_cast<int>(std::lround(settings_.loudnessTarget())));
    loudnessTarget_->setEnabled(loudnessSwitch_->isChecked());
    auto* loudness = new QWidget();
    form = new QFormLayout(loudness);
    form->addRow(loudnessSwitch_);
    form->addRow(tr("目标响度"), loudnessTarget_);
    addSection(tr("响度"), loudness);
    QObject::connect(loudnessSwitch_, &QCheckBox::toggled, root, [this](bool on) {
        settings_.setNormaliseLoudness(on);
        loudnessTarget_->setEnabled(on);
    });
    QObject::connect(loudnessTarget_, &QSpinBox::valueChanged, root,
                     [this](int lufs) { settings_.setLoudnessTarget(lufs); });
    auto* wheelGuard = new PageScrollsFirst(scroll);
    for (QWidget* control : std::initializer_list<QWidget*>{
             streamOutput_, monitorOutput_, microphone_, makerInput_, effectsVolume_,
             streamVolume_, monitorVolume_, microphoneVolume_, loudnessTarget_})
        wheelGuard->guard(control);

    reloadDevices();
    QObject::connect(routingSwitch_, &QCheckBox::toggled, root, [this] { changed(); });
    for (QComboBox* box : {streamOutput_, monitorOutput_, microphone_, makerInput_}) {
        QObject::connect(box, &QComboBox::currentIndexChanged, root, [this] { changed(); });
    }
    for (QSlider* slider : {streamVolume_, monitorVolume_, microphoneVolume_}) {
        QObject::connect(slider, &QSlider::valueChanged, root, [this] { changed(); });
    }
    // Every backend has it, so it applies at once and never reopens a device.
    QObject::connect(effectsVolume_, &QSlider::valueChanged, root, [this](int value) {
        routing_.setEffectsVolume(value / float(kVolumeSteps));
    });
    std::weak_ptr<ViewController> weak = weakSelf();
    routing_.setDevicesChangedHandler([weak] {
        if (auto self = weak.lock()) static_cast<QELSettingsViewController&>(*self).reloadDevices();
    });
}

void QELSettingsViewController::viewWillAppear(bool animated) {
    ViewController::viewWillAppear(animated);
    reloadDevices();
}

void QELSettingsViewController::addSection(const QString& title, QWidget* content) {
    auto* label = new QLabel(title);
    label->setProperty("role", QStringLiteral("section"));
    label->setFont(Font::t2());
    // Before the closing stretch.
    const int at = sections_->count() - 1;
    sections_->insertWidget(at, label);
    sections_->insertWidget(at + 1, content);
}

void QELSettingsViewController::reloadDevices() {
    if (!note_) return;
    const QELAudioRouting::DeviceLists lists = routing_.deviceLists();
    soundServer_ = lists.soundServer;
    filling_ = true;
    fill(streamOutput_, tr("默认输出"), lists.outputs, settings_.streamOutput(), true);
    fill(monitorOutput_, tr("无"), lists.outputs, settings_.monitorOutput(), true);
    fill(microphone_, tr("无"), lists.inputs, settings_.mixedMicrophone(), true);
    fill(makerInput_, tr("默认输入"), lists.inputs, settings_.makerInput(), false);
    filling_ = false;
    QString note;
    if (!soundServer_) {
        note = tr("虚拟麦克风需要 PipeWire 或 PulseAudio 声音服务。");
    } else if (!routing_.problem().empty()) {
        note = QELCoreText(routing_.problem());
    } else if (routing_.virtualMicrophoneActive()) {
        note = tr("直播或语音软件选择“%1”作为麦克风即可听到音效。")
                   .arg(text(VirtualDevices::kMicrophoneDescription));
    }
    note_->setText(note);
    updateEnabled();
}

void QELSettingsViewController::updateEnabled() {
    const bool routed = soundServer_ && routingSwitch_->isChecked();
    routingSwitch_->setEnabled(soundServer_);
    streamOutput_->setEnabled(!routed);
    // PortAudio plays on one output only.
    monitorOutput_->setEnabled(soundServer_);
    monitorVolume_->setEnabled(soundServer_);
    streamVolume_->setEnabled(soundServer_);
    microphone_->setEnabled(routed);
    microphoneVolume_->setEnabled(routed);
}

void QELSettingsViewController::changed() {
    if (filling_) return;
    settings_.setRoutingEnabled(routingSwitch_->isChecked());
    settings_.setStreamOutput(chosen(streamOutput_));
    settings_.setMonitorOutput(chosen(monitorOutput_));
    settings_.setMixedMicrophone(chosen(microphone_));
    settings_.setMakerInput(chosen(makerInput_));
    settings_.setStreamVolume(streamVolume_->value() / float(kVolumeSteps));
    settings_.setMonitorVolume(monitorVolume_->value() / float(kVolumeSteps));
    settings_.setMicrophoneVolume(microphoneVolume_->value() / float(kVolumeSteps));
    routing_.apply();
    reloadDevices();
}
