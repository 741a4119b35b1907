#include "ui/qt/DialogView.h"

#include <QAbstractTableModel>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QTreeView>
#include <set>

#include "ui/qt/Resources.h"

namespace tarvo::ui::qt {

// The rows of a list view; each cell's text is asked of the model when it is drawn.
class ListViewItems : public QAbstractTableModel {
  public:
    ListViewItems(DialogModel& model, int id) : m_model(model), m_id(id) {}
    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(State().itemData.size());
    }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(State().columns.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid()) return {};
        return QString::fromStdString(m_model.ItemText(m_id, index.row(), index.column()));
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        const auto& columns = State().columns;
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
            section >= static_cast<int>(columns.size()))
            return {};
        return QString::fromStdString(columns[static_cast<std::size_t>(section)].title);
    }
    void Reset() {
        beginResetModel();
        endResetModel();
    }

  private:
    const ControlState& State() const { return m_model.Controls().At(m_id); }
    DialogModel& m_model;
    int m_id;
};

namespace {

std::set<QWidget*>& OwnWindows() {
    static std::set<QWidget*> windows;
    return windows;
}

// Windows measures dialog units on the average width of the letters.
QSize BaseUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const QString letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    const int width = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
    return {width, metrics.height()};
}

template <typename Widget>
Widget* As(QWidget* widget) {
    return dynamic_cast<Widget*>(widget);
}

}  // namespace

QString LabelText(const std::string& text) {
    QString shown;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            if (i + 1 < text.size() && text[i + 1] == '&') shown += '&', ++i;
            continue;
        }
        shown += QChar::fromLatin1(text[i]);
    }
    return shown;
}

QWidget* OwnWindow(HWND handle) {
    auto* widget = static_cast<QWidget*>(handle);
    return OwnWindows().contains(widget) ? widget : nullptr;
}
void RegisterWindow(QWidget* widget) {
    OwnWindows().insert(widget);
}
void UnregisterWindow(QWidget* widget) {
    OwnWindows().erase(widget);
}

DialogView::DialogView(DialogModel& model, QWidget* parent)
    : QWidget(parent), m_model(model), m_baseUnits(BaseUnits(font())) {
    RegisterWindow(this);
    setObjectName(QString("dialog-%1").arg(model.Template().id));
    Build();
    setFixedSize(TemplateSize());
}

DialogView::~DialogView() {
    UnregisterWindow(this);
}

QRect DialogView::PixelRect(const DialogRect& rect) const {
    const auto across = [&](int units) { return units * m_baseUnits.width() / 4; };
    const auto down = [&](int units) { return units * m_baseUnits.height() / 8; };
    return {across(rect.x), down(rect.y), across(rect.width), down(rect.height)};
}

QSize DialogView::TemplateSize() const {
    const DialogTemplate& dialog = m_model.Template();
    return PixelRect({0, 0, dialog.width, dialog.height}).size();
}

void DialogView::Build() {
    const std::vector<ControlTemplate>& controls = m_model.Template().controls;
    QButtonGroup* group = nullptr;
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const ControlTemplate& control = controls[i];
        const ControlTemplate* next = i + 1 < controls.size() ? &controls[i + 1] : nullptr;
        QWidget* widget = MakeWidget(control, next);
        if (widget == nullptr) continue;
        if (control.kind == ControlKind::RadioButton) {
            if (control.groupStart || group == nullptr) {
                group = new QButtonGroup(this);
                m_radioGroups.push_back(group);
            }
            group->addButton(As<QAbstractButton>(widget));
        } else {
            group = nullptr;
        }
        if (control.kind == ControlKind::GroupBox) widget->lower();
        if (control.id != IDC_STATIC) {
            widget->setObjectName(QString("control-%1").arg(control.id));
            m_controls[control.id] = {&control, widget};
            Connect(control, widget);
        }
    }
}

QWidget* DialogView::MakeWidget(const ControlTemplate& control, const ControlTemplate* next) {
    QWidget* widget = nullptr;
    const QString text = QString::fromStdString(control.text);
    switch (control.kind) {
        case ControlKind::GroupBox:
            widget = new QGroupBox(LabelText(control.text), this);
            break;
        case ControlKind::Label: {
            auto* label = new QLabel(LabelText(control.text), this);
            label->setWordWrap(control.rect.height > 8);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            widget = label;
            break;
        }
        case ControlKind::Bitmap: {
            auto* picture = new QLabel(this);
            // The text names the bitmap resource by number.
            picture->setPixmap(BitmapResource(text.toInt(), PixelRect(control.rect).size()));
            widget = picture;
            break;
        }
        case ControlKind::CheckBox:
            widget = new QCheckBox(text, this);
            break;
        case ControlKind::RadioButton: {
            auto* option = new QRadioButton(text, this);
            option->setAutoExclusive(false);  // the group makes the run exclusive
            widget = option;
            break;
        }
        case ControlKind::PushButton:
        case ControlKind::DefaultPushButton: {
            auto* button = new QPushButton(text, this);
            button->setDefault(control.kind == ControlKind::DefaultPushButton);
            button->setAutoDefault(control.kind == ControlKind::DefaultPushButton);
            widget = button;
            break;
        }
        case ControlKind::Edit:
        case ControlKind::NumberEdit:
            return MakeEdit(control, next);
        case ControlKind::DropDownList:
            widget = new QComboBox(this);
            break;
        case ControlKind::ListView:
            widget = MakeListView(control);
            break;
        case ControlKind::SpinButton:
            return nullptr;  // drawn with the box before it
    }
    widget->setGeometry(PixelRect(control.rect));
    return widget;
}

QWidget* DialogView::MakeEdit(const ControlTemplate& control, const ControlTemplate* next) {
    const bool spun = next != nullptr && next->kind == ControlKind::SpinButton;
    QRect place = PixelRect(control.rect);
    if (spun) {
        // The box and its arrows as one spin box over both places.
        auto* spin = new QSpinBox(this);
        spin->setGeometry(place.united(PixelRect(next->rect)));
        m_spinOfButton[next->id] = spin;
        return spin;
    }
    auto* edit = new QLineEdit(this);
    if (control.kind == ControlKind::NumberEdit)
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit));
    edit->setGeometry(place);
    return edit;
}

QWidget* DialogView::MakeListView(const ControlTemplate& control) {
    auto* view = new QTreeView(this);
    m_listItems = std::make_unique<ListViewItems>(m_model, control.id);
    view->setModel(m_listItems.get());
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    view->setUniformRowHeights(true);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->header()->setStretchLastSection(false);
    view->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return view;
}

void DialogView::Connect(const ControlTemplate& control, QWidget* widget) {
    const int id = control.id;
    const auto report = [this, id](Notification code) {
        if (!m_refreshing) Dispatch({id, code});
    };
    if (auto* button = As<QAbstractButton>(widget)) {
        connect(button, &QAbstractButton::clicked, this,
                [report] { report(Notification::Clicked); });
    } else if (auto* list = As<QComboBox>(widget)) {
        connect(list, &QComboBox::activated, this,
                [report] { report(Notification::SelectionConfirmed); });
    } else if (auto* spin = As<QSpinBox>(widget)) {
        connect(spin, &QSpinBox::textChanged, this,
                [report] { report(Notification::TextChanged); });
    } else if (auto* edit = As<QLineEdit>(widget)) {
        connect(edit, &QLineEdit::textEdited, this,
                [report] { report(Notification::TextChanged); });
    } else if (auto* view = As<QTreeView>(widget)) {
        connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] {
            if (!m_refreshing) ReadBack();
        });
    }
}

void DialogView::ReadBack() {
    DialogState& state = m_model.Controls();
    for (auto& [id, control] : m_controls) {
        ControlState& target = state.At(id);
        QWidget* widget = control.widget;
        if (auto* check = As<QCheckBox>(widget))
            target.checked = check->isChecked();
        else if (auto* option = As<QRadioButton>(widget))
            target.checked = option->isChecked();
        else if (auto* list = As<QComboBox>(widget))
            target.selection = list->currentIndex();
        else if (auto* spin = As<QSpinBox>(widget))
            target.text = spin->text().toStdString();
        else if (auto* edit = As<QLineEdit>(widget))
            target.text = edit->text().toStdString();
        else if (auto* view = As<QTreeView>(widget)) {
            const QModelIndex current = view->selectionModel()->currentIndex();
            const bool selected = current.isValid() && view->selectionModel()->isSelected(current);
            target.selection = selected ? current.row() : kNoSelection;
        }
    }
}

void DialogView::Dispatch(const ControlCommand& command) {
    ReadBack();
    std::optional<INT_PTR> end;
    try {
        end = m_model.Command(command);
        Refresh();
    } catch (const std::exception& failure) {
        if (onFailure) onFailure(failure.what());
        return;
    }
    if (end && onEnd) onEnd(*end);
}

void DialogView::Refresh() {
    m_refreshing = true;
    for (QButtonGroup* group : m_radioGroups) group->setExclusive(false);
    const DialogState& state = m_model.Controls();
    for (auto& [id, control] : m_controls) RefreshControl(state.At(id), control.widget);
    for (const auto& [spinId, spin] : m_spinOfButton)
        if (state.Has(spinId))
            spin->setRange(state.At(spinId).rangeLow, state.At(spinId).rangeHigh);
    // The spin box shows the edit box's number once its range can hold it.
    for (auto& [id, control] : m_controls)
        if (auto* spin = As<QSpinBox>(control.widget))
            spin->setValue(QString::fromStdString(state.At(id).text).toInt());
    for (QButtonGroup* group : m_radioGroups) group->setExclusive(true);
    m_refreshing = false;
}

void DialogView::RefreshControl(const ControlState& state, QWidget* widget) {
    widget->setVisible(state.visible);
    widget->setEnabled(state.enabled);
    const QString text = QString::fromStdString(state.text);
    if (auto* check = As<QCheckBox>(widget))
        check->setChecked(state.checked);
    else if (auto* option = As<QRadioButton>(widget))
        option->setChecked(state.checked);
    else if (auto* button = As<QPushButton>(widget))
        button->setText(text);
    else if (auto* label = As<QLabel>(widget))
        label->setText(LabelText(state.text));
    else if (auto* list = As<QComboBox>(widget))
        RefreshList(state, list);
    else if (auto* edit = As<QLineEdit>(widget)) {
        if (edit->text() != text) edit->setText(text);
    } else if (auto* view = As<QTreeView>(widget))
        RefreshListView(state, view);
}

void DialogView::RefreshList(const ControlState& state, QComboBox* list) {
    QStringList items;
    for (const std::string& item : state.items) items << QString::fromStdString(item);
    QStringList shown;
    for (int i = 0; i < list->count(); ++i) shown << list->itemText(i);
    if (shown != items) {
        list->clear();
        list->addItems(items);
    }
    list->setCurrentIndex(state.selection);
}

void DialogView::RefreshListView(const ControlState& state, QTreeView* view) {
    m_listItems->Reset();
    for (std::size_t i = 0; i < state.columns.size(); ++i)
        view->setColumnWidth(static_cast<int>(i), state.columns[i].width);
    view->setSelectionBehavior(state.fullRowSelect ? QAbstractItemView::SelectRows
                                                   : QAbstractItemView::SelectItems);
    if (state.selection == kNoSelection) {
        view->selectionModel()->clearSelection();
        view->selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    } else {
        view->selectionModel()->setCurrentIndex(
            m_listItems->index(state.selection, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
}

void DialogView::ApplyFocus() {
    const int focus = m_model.Controls().focus;
    if (auto found = m_controls.find(focus); found != m_controls.end())
        found->second.widget->setFocus();
}

}  // namespace tarvo::ui::qt
