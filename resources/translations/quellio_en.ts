<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>QELAppDelegate</name>
    <message>
        <source>声匣</source>
        <translation>Quellio</translation>
    </message>
    <message>
        <source>快捷键 %1 已被其他程序占用</source>
        <translation>Hotkey %1 is taken by another program</translation>
    </message>
</context>
<context>
    <name>QELCoreText</name>
    <message>
        <source>直播输出“%1”不在了，改用默认输出</source>
        <translation>Stream output “%1” is gone; using the default output</translation>
    </message>
    <message>
        <source>监听输出“%1”不在了，改用默认输出</source>
        <translation>Monitor output “%1” is gone; using the default output</translation>
    </message>
    <message>
        <source>麦克风“%1”不在了，暂不混入</source>
        <translation>Microphone “%1” is gone; not mixing it in for now</translation>
    </message>
    <message>
        <source>录音输入“%1”不在了，改用默认输入</source>
        <translation>Recording input “%1” is gone; using the default input</translation>
    </message>
    <message>
        <source>虚拟麦克风需要 PipeWire 或 PulseAudio（%1）</source>
        <translation>The virtual microphone needs PipeWire or PulseAudio (%1)</translation>
    </message>
    <message>
        <source>直播输出已断开，改用“%1”</source>
        <translation>Stream output disconnected; now on “%1”</translation>
    </message>
    <message>
        <source>监听输出已断开，改用“%1”</source>
        <translation>Monitor output disconnected; now on “%1”</translation>
    </message>
    <message>
        <source>无法创建虚拟麦克风：%1</source>
        <translation>Cannot create the virtual microphone: %1</translation>
    </message>
    <message>
        <source>无法混入麦克风：%1</source>
        <translation>Cannot mix in the microphone: %1</translation>
    </message>
    <message>
        <source>无法打开输出：%1</source>
        <translation>Cannot open the output: %1</translation>
    </message>
    <message>
        <source>声音服务已断开，正在重新连接</source>
        <translation>Sound server disconnected; reconnecting</translation>
    </message>
    <message>
        <source>声音服务已恢复</source>
        <translation>Sound server is back</translation>
    </message>
    <message>
        <source>名称不能包含“/”，也不能是“.”或“..”</source>
        <translation>A name cannot contain “/” or be “.” or “..”</translation>
    </message>
    <message>
        <source>找不到文件“%1”</source>
        <translation>File “%1” not found</translation>
    </message>
    <message>
        <source>无法读取“%1”：%2</source>
        <translation>Cannot read “%1”: %2</translation>
    </message>
    <message>
        <source>无法读取“%1”</source>
        <translation>Cannot read “%1”</translation>
    </message>
    <message>
        <source>“%1”是文件夹，不是声音文件</source>
        <translation>“%1” is a folder, not a sound file</translation>
    </message>
    <message>
        <source>“%1”是空文件</source>
        <translation>“%1” is empty</translation>
    </message>
    <message>
        <source>“%1”超过 200 MB，不能导入</source>
        <translation>“%1” is over 200 MB and cannot be imported</translation>
    </message>
    <message>
        <source>已取消导入“%1”</source>
        <translation>Import of “%1” cancelled</translation>
    </message>
    <message>
        <source>“%1”长于 10 分钟，不能导入</source>
        <translation>“%1” is longer than 10 minutes and cannot be imported</translation>
    </message>
    <message>
        <source>“%1”不是能导入的声音文件（%2）</source>
        <translation>“%1” is not a sound file that can be imported (%2)</translation>
    </message>
    <message>
        <source>“%1”里没有声音</source>
        <translation>“%1” holds no sound</translation>
    </message>
    <message>
        <source>“%1”几乎无声，测不出响度，已按原样导入</source>
        <translation>“%1” is nearly silent, so its loudness cannot be measured; imported as it is</translation>
    </message>
    <message>
        <source>已有同名音效“%1”</source>
        <translation>There is already a sound named “%1”</translation>
    </message>
    <message>
        <source>保存“%1”失败：%2</source>
        <translation>Could not save “%1”: %2</translation>
    </message>
    <message>
        <source>大叔</source>
        <translation>Uncle</translation>
    </message>
    <message>
        <source>萝莉</source>
        <translation>Girl</translation>
    </message>
    <message>
        <source>快语速</source>
        <translation>Fast</translation>
    </message>
    <message>
        <source>慢语速</source>
        <translation>Slow</translation>
    </message>
</context>
<context>
    <name>QELHotkeyCaptureDialog</name>
    <message>
        <source>请按下组合键</source>
        <translation>Press a key combination</translation>
    </message>
    <message>
        <source>设置快捷键</source>
        <translation>Set hotkey</translation>
    </message>
    <message>
        <source>为「%1」按下组合键（Esc 取消）</source>
        <translation>Press a combination for “%1” (Esc cancels)</translation>
    </message>
    <message>
        <source>需要 Ctrl、Alt、Shift 或 Super 加一个字母、数字或 F1–F12；Ctrl+Alt+F 键留给系统。</source>
        <translation>Use Ctrl, Alt, Shift or Super with a letter, digit or F1–F12; Ctrl+Alt+F keys belong to the system.</translation>
    </message>
    <message>
        <source>%1 已用于「%2」，请换一个组合。</source>
        <translation>%1 is already used for “%2”; choose another.</translation>
    </message>
    <message>
        <source>%1 已被其他程序占用，请换一个组合。</source>
        <translation>%1 is taken by another program; choose another.</translation>
    </message>
</context>
<context>
    <name>QELHotkeyListView</name>
    <message>
        <source>此桌面不支持全局快捷键（需要 X11，或提供全局快捷键的桌面门户）。</source>
        <translation>This desktop does not support global hotkeys (they need X11 or a desktop portal that offers them).</translation>
    </message>
    <message>
        <source>（已删除）</source>
        <translation> (deleted)</translation>
    </message>
    <message>
        <source>（已被其他程序占用）</source>
        <translation> (taken by another program)</translation>
    </message>
    <message>
        <source>清除</source>
        <translation>Clear</translation>
    </message>
</context>
<context>
    <name>QELImportController</name>
    <message>
        <source>导入声音</source>
        <translation>Import sounds</translation>
    </message>
    <message>
        <source>声音文件 (*.wav *.flac *.ogg *.oga *.opus *.mp3 *.aif *.aiff *.caf);;所有文件 (*)</source>
        <translation>Sound files (*.wav *.flac *.ogg *.oga *.opus *.mp3 *.aif *.aiff *.caf);;All files (*)</translation>
    </message>
    <message>
        <source>替换后，原来的“%1”就没有了</source>
        <translation>Replacing it deletes the old “%1”</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>替换</source>
        <translation>Replace</translation>
    </message>
    <message>
        <source>另存为“%1”</source>
        <translation>Save as “%1”</translation>
    </message>
    <message>
        <source>正在导入“%1”…</source>
        <translation>Importing “%1”…</translation>
    </message>
    <message>
        <source>已导入</source>
        <translation>Imported</translation>
    </message>
    <message>
        <source>无法导入</source>
        <translation>Cannot import</translation>
    </message>
    <message>
        <source>好</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>QELMySoundEffectEmptyView</name>
    <message>
        <source>空空的，这里什么都没有...</source>
        <translation>Nothing here yet...</translation>
    </message>
</context>
<context>
    <name>QELMySoundEffectsEditOptionViewController</name>
    <message>
        <source>你要做什么？</source>
        <translation>What would you like to do?</translation>
    </message>
    <message>
        <source>替换</source>
        <translation>Replace</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>设置快捷键</source>
        <translation>Set hotkey</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>QELMySoundEffectsViewController</name>
    <message>
        <source>自定义</source>
        <translation>My sounds</translation>
    </message>
    <message>
        <source>导入</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>长按可再次编辑</source>
        <translation>Press and hold to edit again</translation>
    </message>
</context>
<context>
    <name>QELPlaySelection</name>
    <message>
        <source>音效文件不见了</source>
        <translation>The sound file is missing</translation>
    </message>
</context>
<context>
    <name>QELSettingsViewController</name>
    <message>
        <source>%1（不在）</source>
        <translation>%1 (gone)</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>返回</source>
        <translation>Back</translation>
    </message>
    <message>
        <source>虚拟麦克风（%1）</source>
        <translation>Virtual microphone (%1)</translation>
    </message>
    <message>
        <source>音效音量</source>
        <translation>Effects volume</translation>
    </message>
    <message>
        <source>直播输出</source>
        <translation>Stream output</translation>
    </message>
    <message>
        <source>直播音量</source>
        <translation>Stream volume</translation>
    </message>
    <message>
        <source>监听输出</source>
        <translation>Monitor output</translation>
    </message>
    <message>
        <source>监听音量</source>
        <translation>Monitor volume</translation>
    </message>
    <message>
        <source>音效输出</source>
        <translation>Effects output</translation>
    </message>
    <message>
        <source>混入麦克风</source>
        <translation>Mix in microphone</translation>
    </message>
    <message>
        <source>麦克风音量</source>
        <translation>Microphone volume</translation>
    </message>
    <message>
        <source>麦克风</source>
        <translation>Microphone</translation>
    </message>
    <message>
        <source>录音输入</source>
        <translation>Recording input</translation>
    </message>
    <message>
        <source>制作</source>
        <translation>Maker</translation>
    </message>
    <message>
        <source>导入和录音统一响度</source>
        <translation>Level imports and recordings</translation>
    </message>
    <message>
        <source>目标响度</source>
        <translation>Target loudness</translation>
    </message>
    <message>
        <source>响度</source>
        <translation>Loudness</translation>
    </message>
    <message>
        <source>默认输出</source>
        <translation>Default output</translation>
    </message>
    <message>
        <source>无</source>
        <translation>None</translation>
    </message>
    <message>
        <source>默认输入</source>
        <translation>Default input</translation>
    </message>
    <message>
        <source>虚拟麦克风需要 PipeWire 或 PulseAudio 声音服务。</source>
        <translation>The virtual microphone needs a PipeWire or PulseAudio sound server.</translation>
    </message>
    <message>
        <source>直播或语音软件选择“%1”作为麦克风即可听到音效。</source>
        <translation>Choose “%1” as the microphone in your streaming or voice app to send it the effects.</translation>
    </message>
</context>
<context>
    <name>QELSoundEffectListViewController</name>
    <message>
        <source>声匣</source>
        <translation>Quellio</translation>
    </message>
</context>
<context>
    <name>QELSoundEffectMakeViewController</name>
    <message>
        <source>录制时间为 %1s 以上</source>
        <translation>Record at least %1 s</translation>
    </message>
    <message>
        <source>自制音效</source>
        <translation>Make a sound</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>没有找到麦克风</source>
        <translation>No microphone found</translation>
    </message>
    <message>
        <source>请把麦克风或带麦克风的耳机接到电脑上，在声音设置里把它选为输入设备，再回来录制</source>
        <translation>Connect a microphone or a headset with one, choose it as the input in the sound settings, then come back to record</translation>
    </message>
    <message>
        <source>没找到声音设置程序，请在系统设置里选麦克风</source>
        <translation>No sound settings program found; choose the microphone in the system settings</translation>
    </message>
</context>
<context>
    <name>QELSoundEffectPickViewController</name>
    <message>
        <source>添加</source>
        <translation>Add</translation>
    </message>
</context>
<context>
    <name>QELSoundEffectSaveView</name>
    <message>
        <source>文件命名</source>
        <translation>Name your sound</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>QELSoundEffectSaveViewController</name>
    <message>
        <source>替换后，原来的“%1”就没有了</source>
        <translation>Replacing it deletes the old “%1”</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>替换</source>
        <translation>Replace</translation>
    </message>
    <message>
        <source>保存失败了，换个名字再试试吧</source>
        <translation>Could not save; try another name</translation>
    </message>
    <message>
        <source>已有同名音效</source>
        <translation>A sound with this name exists</translation>
    </message>
</context>
<context>
    <name>QELTabBarController</name>
    <message>
        <source>快捷键</source>
        <translation>Hotkeys</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>声匣</source>
        <comment>the program&apos;s name in its window title</comment>
        <translation>Quellio</translation>
    </message>
</context>
</TS>
