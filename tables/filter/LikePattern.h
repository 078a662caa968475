#pragma once

#include <QString>
#include <QStringView>

namespace quillora::filter {

// An SQL-style LIKE pattern: "%" stands for any run of characters (also none), "_" for exactly
// one; every other character stands for itself, case and accents included.
class LikePattern {
public:
    explicit LikePattern(QString pattern) : pattern_(std::move(pattern)) {}
    bool matches(QStringView text) const;
    const QString& pattern() const { return pattern_; }

private:
    QString pattern_;
};

}  // namespace quillora::filter
