#include "station/AccessibleRoles.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QWidget>

namespace {

QAccessibleInterface* windowAccessible(const QString& className, QObject* object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    auto* widget = static_cast<QWidget*>(object);
    // The operator's window: a frame a screen reader names by its title.
    if (className == QLatin1String("TfmFer"))
        return new QAccessibleWidget(widget, QAccessible::Window);
    // The notice: an alert, read out as soon as it comes up.
    if (className == QLatin1String("TfmAviso"))
        return new QAccessibleWidget(widget, QAccessible::AlertMessage);
    return nullptr;
}

} // namespace

void installAccessibleRoles()
{
    static const bool installed = [] {
        QAccessible::installFactory(windowAccessible);
        return true;
    }();
    (void)installed;
}
