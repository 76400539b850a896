#include "interface__QT/effect_list_window.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QVBoxLayout>

const char* const Effect_List_Window::effect_summary =
    "Pattern effects (command letter, parameter xx or xy in hex)\n"
    "\n"
    "Axx  Speed: ticks per row\n"
    "Bxx  Jump to order xx\n"
    "Cxx  End this pattern, go on at row xx of the next\n"
    "Dxy  Volume slide: D0y down, Dx0 up, DFy fine down, DxF fine up\n"
    "Exx  Pitch down: EFx fine, EEx extra fine\n"
    "Fxx  Pitch up: FFx fine, FEx extra fine\n"
    "Gxx  Slide to the note, at speed xx\n"
    "Hxy  Vibrato: speed x, depth y\n"
    "Ixy  Tremor: sound for x ticks, silence for y\n"
    "Jxy  Arpeggio: note, +x and +y semitones in turn\n"
    "Kxy  Vibrato goes on, with volume slide Dxy\n"
    "Lxy  Slide to note goes on, with volume slide Dxy\n"
    "Mxx  Channel volume (00-40)\n"
    "Nxy  Channel volume slide, as D\n"
    "Oxx  Start the sample at xx00 frames\n"
    "Pxy  Pan slide: P0y right, Px0 left, fine with F\n"
    "Qxy  Retrigger every y ticks, changing the volume by x\n"
    "Rxy  Tremolo: speed x, depth y\n"
    "Sxy  Special, see below\n"
    "Txx  Tempo; T0x slides down, T1x slides up\n"
    "Uxy  Fine vibrato\n"
    "Vxx  Global volume (00-80)\n"
    "Wxy  Global volume slide, as D\n"
    "Xxx  Pan: 00 left, 80 centre, FF right\n"
    "Yxy  Panbrello: speed x, depth y\n"
    "Zxx  Filter: 00-7F cutoff, 80-8F resonance\n"
    "\n"
    "Special commands\n"
    "\n"
    "S3x  Vibrato waveform: 0 sine, 1 ramp down, 2 square, 3 random\n"
    "S4x  Tremolo waveform\n"
    "S5x  Panbrello waveform\n"
    "S6x  Make this row x ticks longer\n"
    "S8x  Pan: 0 left .. F right\n"
    "S91  Surround\n"
    "SAx  High part of the sample offset (x0000 frames)\n"
    "SB0  Mark the start of a loop; SBx plays it x more times\n"
    "SCx  Cut the note after x ticks\n"
    "SDx  Delay the note by x ticks\n"
    "SEx  Play this row x more times\n"
    "\n"
    "Volume column\n"
    "\n"
    "00-64    Volume\n"
    "Ax       Fine volume up\n"
    "Bx       Fine volume down\n"
    "Cx       Volume slide up\n"
    "Dx       Volume slide down\n"
    "Ex       Pitch down\n"
    "Fx       Pitch up\n"
    "Gx       Slide to the note\n"
    "Hx       Vibrato depth\n"
    "P00-P64  Pan (typed while the pan mode is on)\n";

Effect_List_Window::Effect_List_Window(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Pattern Edit Effect List");
    setModal(true);
    auto* text = new QPlainTextEdit(this);
    text->setObjectName("effect_summary");
    text->setReadOnly(true);
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text->setPlainText(effect_summary);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(buttons);
    setFixedSize(WIDTH, HEIGHT);
}
