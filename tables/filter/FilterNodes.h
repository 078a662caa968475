#pragma once

#include <QByteArray>

#include <memory>
#include <vector>

#include "tables/FieldType.h"
#include "tables/TableFile.h"
#include "tables/Value.h"
#include "tables/filter/FilterLexer.h"
#include "tables/filter/LikePattern.h"
#include "tables/filter/ValueSet.h"

namespace quillora::filter {

// The record a condition is tested on: its raw image and the file that reads values out of it.
struct Row {
    TableFile& file;
    const QByteArray& raw;
};

class Condition {
public:
    virtual ~Condition() = default;
    virtual bool test(const Row& row) const = 0;
};

class Operand {
public:
    virtual ~Operand() = default;
    virtual Value value(const Row& row) const = 0;
    // The field it reads, for texts of values in LIKE; nullptr for the rest.
    virtual const FieldDef* field() const { return nullptr; }
};

using ConditionPtr = std::unique_ptr<Condition>;
using OperandPtr = std::unique_ptr<Operand>;

// Whether a comparison holds. Nulls: "=" holds between two nulls only, "<>" whenever exactly
// one side is null, the ordering operators never. Values of kinds that cannot be compared are
// only different.
bool holds(Token::Op op, const Value& a, const Value& b);

// --- Operands ----------------------------------------------------------------------------

class FieldOperand : public Operand {
public:
    FieldOperand(int index, FieldDef def) : index_(index), def_(std::move(def)) {}
    Value value(const Row& row) const override { return row.file.value(row.raw, index_); }
    const FieldDef* field() const override { return &def_; }

private:
    int index_;
    FieldDef def_;
};

class ConstantOperand : public Operand {
public:
    explicit ConstantOperand(Value v) : value_(std::move(v)) {}
    Value value(const Row&) const override { return value_; }

private:
    Value value_;
};

class ConditionOperand : public Operand {
public:
    explicit ConditionOperand(ConditionPtr c) : condition_(std::move(c)) {}
    Value value(const Row& row) const override { return Value::boolean(condition_->test(row)); }

private:
    ConditionPtr condition_;
};

// --- Conditions --------------------------------------------------------------------------

class ConstantCondition : public Condition {
public:
    explicit ConstantCondition(bool v) : value_(v) {}
    bool test(const Row&) const override { return value_; }

private:
    bool value_;
};

// A chain of conditions joined by AND or OR, kept flat so that a long chain costs no depth.
class AndCondition : public Condition {
public:
    explicit AndCondition(std::vector<ConditionPtr> parts) : parts_(std::move(parts)) {}
    bool test(const Row& row) const override
    {
        for (const ConditionPtr& p : parts_)
            if (!p->test(row))
                return false;
        return true;
    }

private:
    std::vector<ConditionPtr> parts_;
};

class OrCondition : public Condition {
public:
    explicit OrCondition(std::vector<ConditionPtr> parts) : parts_(std::move(parts)) {}
    bool test(const Row& row) const override
    {
        for (const ConditionPtr& p : parts_)
            if (p->test(row))
                return true;
        return false;
    }

private:
    std::vector<ConditionPtr> parts_;
};

class NotCondition : public Condition {
public:
    explicit NotCondition(ConditionPtr a) : a_(std::move(a)) {}
    bool test(const Row& row) const override { return !a_->test(row); }

private:
    ConditionPtr a_;
};

// A logical field standing alone: true when it holds true.
class LogicalFieldCondition : public Condition {
public:
    explicit LogicalFieldCondition(int index) : index_(index) {}
    bool test(const Row& row) const override;

private:
    int index_;
};

// The common case: a field against a constant already in the field's kind.
class FieldConstantCondition : public Condition {
public:
    FieldConstantCondition(int index, Token::Op op, Value constant)
        : index_(index), op_(op), constant_(std::move(constant)) {}
    bool test(const Row& row) const override;
    int index() const { return index_; }
    Token::Op op() const { return op_; }
    const Value& constant() const { return constant_; }

private:
    int index_;
    Token::Op op_;
    Value constant_;
};

// A text field whose value begins (or, negated, does not begin) with a prefix.
class PrefixCondition : public Condition {
public:
    PrefixCondition(int index, QString prefix, bool negated)
        : index_(index), prefix_(std::move(prefix)), negated_(negated) {}
    bool test(const Row& row) const override;

private:
    int index_;
    QString prefix_;
    bool negated_;
};

class CompareCondition : public Condition {
public:
    CompareCondition(OperandPtr a, Token::Op op, OperandPtr b) : a_(std::move(a)), op_(op), b_(std::move(b)) {}
    bool test(const Row& row) const override { return holds(op_, a_->value(row), b_->value(row)); }

private:
    OperandPtr a_;
    Token::Op op_;
    OperandPtr b_;
};

class IsNullCondition : public Condition {
public:
    IsNullCondition(OperandPtr a, bool negated) : a_(std::move(a)), negated_(negated) {}
    bool test(const Row& row) const override { return a_->value(row).isNull() != negated_; }

private:
    OperandPtr a_;
    bool negated_;
};

class InCondition : public Condition {
public:
    InCondition(OperandPtr a, std::vector<OperandPtr> items) : a_(std::move(a)), items_(std::move(items)) {}
    bool test(const Row& row) const override;

private:
    OperandPtr a_;
    std::vector<OperandPtr> items_;
};

// An IN list of constants, or equalities of one field joined by OR: one lookup in a hash set.
class InSetCondition : public Condition {
public:
    InSetCondition(OperandPtr a, ValueSet set) : a_(std::move(a)), set_(std::move(set)) {}
    bool test(const Row& row) const override { return set_.contains(a_->value(row)); }

private:
    OperandPtr a_;
    ValueSet set_;
};

class LikeCondition : public Condition {
public:
    // A fixed pattern, or (pattern null) one read from an operand for every record.
    LikeCondition(OperandPtr a, std::unique_ptr<LikePattern> pattern, OperandPtr patternOperand)
        : a_(std::move(a)), pattern_(std::move(pattern)), patternOperand_(std::move(patternOperand)) {}
    bool test(const Row& row) const override;

private:
    OperandPtr a_;
    std::unique_ptr<LikePattern> pattern_;
    OperandPtr patternOperand_;
};

// The text LIKE looks at for a value: text as it is, other kinds as users see them.
QString likeText(const Value& v, const FieldDef* field);

}  // namespace quillora::filter
