#include "common/components/audio/effect_source_manager.h"

#include "common/interface__QT/audio/effect_select_popup.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

namespace {

// Where an effect item's source and index are kept; group items have neither.
constexpr int SOURCE_ROLE = Qt::UserRole;
constexpr int EFFECT_ROLE = Qt::UserRole + 1;
constexpr int NAME_ROLE = Qt::UserRole + 2;

}  // namespace

Effect_Select_Popup::Effect_Select_Popup(QWidget* parent)
    : QDialog(parent), search(new QLineEdit(this)), tree(new QTreeWidget(this)), ok_button(new QPushButton(tr("Ok"), this)) {
    setWindowTitle(tr("Select Effect"));
    setObjectName("effect_select_popup");

    auto* search_label = new QLabel(tr("Search:"), this);
    search_label->setBuddy(search);
    search->setClearButtonEnabled(true);
    search->setPlaceholderText(tr("Part of a name"));
    auto* search_row = new QHBoxLayout;
    search_row->addWidget(search_label);
    search_row->addWidget(search, 1);

    tree->setHeaderHidden(true);
    tree->setColumnCount(1);
    tree->setRootIsDecorated(true);
    tree->setUniformRowHeights(true);
    tree->setAccessibleName(tr("Effects"));

    auto* cancel_button = new QPushButton(tr("Cancel"), this);
    ok_button->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_button);
    buttons->addWidget(cancel_button);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(search_row);
    layout->addWidget(tree, 1);
    layout->addLayout(buttons);

    // Wide and tall enough for long plug-in names and a screenful of them, in text units.
    const QFontMetrics metrics = fontMetrics();
    resize(metrics.averageCharWidth() * 80, metrics.height() * 30);

    connect(search, &QLineEdit::textChanged, this, &Effect_Select_Popup::set_filter);
    connect(tree, &QTreeWidget::currentItemChanged, this, &Effect_Select_Popup::current_changed);
    connect(tree, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        if (item && item->data(0, SOURCE_ROLE).isValid()) accept();
    });
    connect(ok_button, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_button, &QPushButton::clicked, this, &QDialog::reject);
    fill();
}

int Effect_Select_Popup::effect_total() {
    Effect_Source_Manager* manager = Effect_Source_Manager::get_singleton_instance();
    if (!manager) return 0;
    int total = 0;
    for (int s = 0; s < manager->get_effect_source_count(); s++) total += manager->get_effect_source(s)->get_effect_count();
    return total;
}

void Effect_Select_Popup::fill() {
    // The sources are fixed once the program has started; a popup made before they were
    // registered catches up here.
    if (effect_total() == filled_total) return;
    filled_total = effect_total();
    tree->clear();
    Effect_Source_Manager* manager = Effect_Source_Manager::get_singleton_instance();
    for (int s = 0; manager && s < manager->get_effect_source_count(); s++) {
        Effect_Source* source = manager->get_effect_source(s);
        auto* group = new QTreeWidgetItem(tree, {QString::fromStdString(source->get_name())});
        group->setFlags(Qt::ItemIsEnabled);
        for (int e = 0; e < source->get_effect_count(); e++) {
            auto* item = new QTreeWidgetItem(group, {QString::fromStdString(source->get_effect_display_name(e))});
            QString name = QString::fromStdString(source->get_effect_name(e));
            item->setData(0, SOURCE_ROLE, s);
            item->setData(0, EFFECT_ROLE, e);
            item->setData(0, NAME_ROLE, name);
            item->setToolTip(0, name);
        }
        group->setText(0, tr("%1 (%2)").arg(group->text(0)).arg(group->childCount()));
        group->setExpanded(true);
    }
    set_filter(search->text());
}

bool Effect_Select_Popup::run() {
    fill();
    // The last search stays, selected, so typing starts a new one.
    search->setFocus();
    search->selectAll();
    return exec() == QDialog::Accepted && chosen_item();
}

QTreeWidgetItem* Effect_Select_Popup::chosen_item() const {
    QTreeWidgetItem* item = tree->currentItem();
    if (!item || item->isHidden() || !item->data(0, SOURCE_ROLE).isValid()) return nullptr;
    return item;
}

Effect* Effect_Select_Popup::create_selected_effect() const {
    QTreeWidgetItem* item = chosen_item();
    Effect_Source_Manager* manager = Effect_Source_Manager::get_singleton_instance();
    if (!item || !manager) return nullptr;
    Effect_Source* source = manager->get_effect_source(item->data(0, SOURCE_ROLE).toInt());
    return source ? source->instantiate_effect(item->data(0, EFFECT_ROLE).toInt()) : nullptr;
}

bool Effect_Select_Popup::select_effect(const QString& name) {
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        if ((*it)->data(0, NAME_ROLE).toString() != name) continue;
        if ((*it)->isHidden() || (*it)->parent()->isHidden()) search->clear();
        tree->setCurrentItem(*it);
        return true;
    }
    tree->setCurrentItem(nullptr);
    return false;
}

void Effect_Select_Popup::set_filter(const QString& text) {
    QTreeWidgetItem* first_shown = nullptr;
    for (int g = 0; g < tree->topLevelItemCount(); g++) {
        QTreeWidgetItem* group = tree->topLevelItem(g);
        int shown = 0;
        for (int e = 0; e < group->childCount(); e++) {
            QTreeWidgetItem* item = group->child(e);
            bool match = text.isEmpty() || item->text(0).contains(text, Qt::CaseInsensitive);
            item->setHidden(!match);
            if (!match) continue;
            shown++;
            if (!first_shown) first_shown = item;
        }
        group->setHidden(shown == 0);
    }
    if (!chosen_item()) tree->setCurrentItem(first_shown);
    current_changed();
}

int Effect_Select_Popup::get_shown_effect_count() const {
    int shown = 0;
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        if ((*it)->data(0, SOURCE_ROLE).isValid() && !(*it)->isHidden() && !(*it)->parent()->isHidden()) shown++;
    return shown;
}

void Effect_Select_Popup::current_changed() {
    QTreeWidgetItem* item = chosen_item();
    ok_button->setEnabled(item != nullptr);
    if (item) tree->scrollToItem(item);
}
