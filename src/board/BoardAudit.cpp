// The board's rows in the trail of desk actions: each goes with the step of the action.
#include "board/BoardModel.h"
#include "store/IniStore.h"

void BoardModel::recordAction(audit::Action action, const QJsonObject& detail) {
    // A board given no database (a part tested alone) has no trail to keep.
    if (!records_) return;
    const Step step(*this);
    for (StepStatement& s : audit::statements({action, ctx_.session.grade, detail}, now()))
        journal_.addStatement(std::move(s));
}

QStringList BoardModel::storedValues(const QList<IniStore::Change>& changes) {
    if (changes.isEmpty()) return {};
    const IniStore::Snapshot store = ini().snapshot();
    QStringList values;
    for (const IniStore::Change& c : changes)
        values.append(store.readString(c.section, c.key, QString()));
    return values;
}

void BoardModel::recordSettings(audit::Action action, const QList<IniStore::Change>& changes,
                                const QStringList& before) {
    const Step step(*this);
    for (qsizetype i = 0; i < changes.size(); ++i) {
        const IniStore::Change& c = changes.at(i);
        const QString old = before.value(i);
        if (old == c.value) continue;
        recordAction(action, {{QStringLiteral("section"), c.section},
                              {QStringLiteral("key"), c.key},
                              {QStringLiteral("old"), old},
                              {QStringLiteral("new"), c.value}});
    }
}
