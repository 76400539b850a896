#pragma once

#include <QFont>
#include <QObject>

// The fonts and drawing options of the song windows' views, owned by the interface page
// of the settings window ("Misc Interface"); views read them at paint time and relayout
// on changed(). The refresh interval is Interface::widget_timer_interval.
class Interface_Preferences : public QObject {
    Q_OBJECT
public:
    static Interface_Preferences& get_singleton_instance();

    QFont get_pattern_edit_font() const { return pattern_edit_font; }
    void set_pattern_edit_font(const QFont& font);
    // The order list and the sample/note tables.
    QFont get_orderlist_font() const { return orderlist_font; }
    void set_orderlist_font(const QFont& font);
    // The pattern view draws through an off-screen image.
    bool get_use_backing_store() const { return use_backing_store; }
    void set_use_backing_store(bool use);

signals:
    void changed();

private:
    Interface_Preferences();

    QFont pattern_edit_font;
    QFont orderlist_font;
    bool use_backing_store = true;
};
