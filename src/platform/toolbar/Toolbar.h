#pragma once
// Toolbars with named bands and tools addressed by id and name, over a QToolBar. Tools never
// toggle themselves: a click is reported and the form decides what the tool's state becomes.
#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QToolBar>

class QAction;
class QComboBox;
class QMenu;
class QToolButton;

namespace bd::toolbar {

class Band;
class Toolbar;

// The command key of a tool name: every "&" removed, upper-cased (Unicode-aware).
QString CommandKey(const QString& toolName);

enum class ToolStyle { Button, Check, Separator, Combo };
enum class BandKind { Bar, Menu };

class Tool : public QObject {
    Q_OBJECT
public:
    int id() const { return id_; }
    QString name() const { return name_; }
    ToolStyle style() const { return style_; }
    Band* band() const { return band_; }
    // The dispatch key of this tool (CommandKey of its name).
    QString key() const { return CommandKey(name_); }

    QString caption() const { return caption_; }
    void setCaption(const QString& c);
    // A free string the caller keeps on the tool (a measure name on the chart toolbar).
    QString identifier() const { return identifier_; }
    void setIdentifier(const QString& s) { identifier_ = s; }
    QIcon picture() const { return picture_; }
    void setPicture(const QIcon& p);
    bool checked() const { return checked_; }
    void setChecked(bool c);
    bool enabled() const { return enabled_; }
    void setEnabled(bool e);
    bool visible() const { return visible_; }
    void setVisible(bool v);

    // Combo tools: the list, the shown text and the width in pixels.
    QStringList list() const { return list_; }
    void setList(const QStringList& items);
    void addItem(const QString& item);
    QString text() const { return text_; }
    void setText(const QString& t);
    int width() const { return width_; }
    void setWidth(int px);

    QAction* action() const { return action_; }
    QComboBox* comboBox() const { return combo_; } // combo tools only

private:
    friend class Band;
    Tool(Band* band, int id, const QString& name, const QString& caption, ToolStyle style);
    void syncCombo();

    Band* band_;
    int id_;
    QString name_, caption_, identifier_, text_;
    ToolStyle style_;
    QIcon picture_;
    bool checked_ = false, enabled_ = true, visible_ = true;
    QStringList list_;
    int width_ = 0;
    QAction* action_ = nullptr;
    QComboBox* combo_ = nullptr;
};

class Band : public QObject {
    Q_OBJECT
public:
    QString name() const { return name_; }
    QString caption() const { return caption_; }
    BandKind kind() const { return kind_; }
    Toolbar* toolbar() const { return bar_; }

    // Tools are added at the end of the band.
    Tool* addTool(int id, const QString& name, const QString& caption = {},
                  ToolStyle style = ToolStyle::Button);
    Tool* addSeparator();
    Tool* addCombo(const QString& name, int widthPx = 0);
    void removeTool(Tool* tool);
    void clear();

    QList<Tool*> tools() const { return tools_; }
    int count() const { return int(tools_.size()); }
    Tool* at(int index) const { return tools_.value(index); }
    Tool* tool(int id) const;
    Tool* tool(const QString& name) const; // exact name

private:
    friend class Toolbar;
    Band(Toolbar* bar, const QString& name, BandKind kind, const QString& caption);
    QAction* firstBarAction() const;
    void place(Tool* t);

    Toolbar* bar_;
    QString name_, caption_;
    BandKind kind_;
    QList<Tool*> tools_;
    QMenu* menu_ = nullptr;
    QToolButton* menuButton_ = nullptr;
    QAction* menuButtonAction_ = nullptr;
};

class Toolbar : public QToolBar {
    Q_OBJECT
public:
    explicit Toolbar(const QString& objectName, QWidget* parent = nullptr);

    Band* addBand(const QString& name, BandKind kind = BandKind::Bar, const QString& caption = {});
    Band* band(const QString& name) const; // names compare without regard to case
    QList<Band*> bands() const { return bands_; }

    // Every tool of every band, in band order.
    QList<Tool*> tools() const;
    Tool* tool(int id) const;
    Tool* tool(const QString& name) const;
    // Removes every tool of every band; the bands stay.
    void clearTools();

    // A user's click: ignored (false) when the toolbar or the tool is disabled or hidden, or the
    // tool is a separator or combo.
    bool clickTool(Tool* tool);
    // A user's choice in a combo tool: sets its text and reports the change; false when ignored.
    bool chooseInCombo(Tool* tool, const QString& text);

signals:
    void toolClick(bd::toolbar::Tool* tool);
    void comboChange(bd::toolbar::Tool* tool);

private:
    friend class Band;
    friend class Tool;
    QAction* actionAfter(const Band* band) const;
    bool reachable(const Tool* tool) const;

    QList<Band*> bands_;
};

} // namespace bd::toolbar
