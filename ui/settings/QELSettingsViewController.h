#pragma once

#include <QCoreApplication>
#include <QString>
#include <memory>

#include "ui/platform/ViewController.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QSlider;
class QSpinBox;
class QVBoxLayout;
class QELAudioRouting;
class QELAudioSettings;

// The settings screen, pushed from the board's gear: where the effects go
// (the virtual microphone, the stream and monitor outputs and their
// volumes), the real microphone mixed in and the maker's input. A choice
// takes effect at once and is kept for the next start. Device lists follow
// the sound server while the screen shows. Sections stack from the top;
// other features add their own with addSection().
class QELSettingsViewController : public platform::ViewController {
    Q_DECLARE_TR_FUNCTIONS(QELSettingsViewController)

public:
    explicit QELSettingsViewController(QELAudioRouting& routing);
    ~QELSettingsViewController() override;

    void loadView() override;
    void viewWillAppear(bool animated) override;

    // Adds a titled section below the others.
    void addSection(const QString& title, QWidget* content);
    // Reads the device lists again and shows the stored choices in them.
    void reloadDevices();

    QCheckBox* routingSwitch() const { return routingSwitch_; }
    QComboBox* streamOutputBox() const { return streamOutput_; }
    QComboBox* monitorOutputBox() const { return monitorOutput_; }
    QComboBox* microphoneBox() const { return microphone_; }
    QComboBox* makerInputBox() const { return makerInput_; }
    QSlider* streamVolumeSlider() const { return streamVolume_; }
    QSlider* effectsVolumeSlider() const { return effectsVolume_; }
    QSlider* monitorVolumeSlider() const { return monitorVolume_; }
    QSlider* microphoneVolumeSlider() const { return microphoneVolume_; }
    QLabel* noteLabel() const { return note_; }
    QCheckBox* loudnessSwitch() const { return loudnessSwitch_; }
    QSpinBox* loudnessTargetBox() const { return loudnessTarget_; }

private:
    void changed();
    void updateEnabled();

    QELAudioRouting& routing_;
    QELAudioSettings& settings_;
    QVBoxLayout* sections_ = nullptr;
    QCheckBox* routingSwitch_ = nullptr;
    QComboBox* streamOutput_ = nullptr;
    QComboBox* monitorOutput_ = nullptr;
    QComboBox* microphone_ = nullptr;
    QComboBox* makerInput_ = nullptr;
    QSlider* streamVolume_ = nullptr;
    QSlider* effectsVolume_ = nullptr;
    QSlider* monitorVolume_ = nullptr;
    QSlider* microphoneVolume_ = nullptr;
    QLabel* note_ = nullptr;
    QCheckBox* loudnessSwitch_ = nullptr;
    QSpinBox* loudnessTarget_ = nullptr;
    bool soundServer_ = false;
    bool filling_ = false;  // the boxes are being filled, not chosen from
};
