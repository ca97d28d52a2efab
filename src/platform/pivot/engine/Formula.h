#pragma once
// Calculated data fields: a formula over other data fields with + - * / ^, unary minus, parentheses,
// numbers and field names (names may hold blanks; [name] quotes any name). Evaluated per cell on the
// aggregated values; division by zero, an empty operand or a non-finite result give an empty cell.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace bd::pivot::engine {

class Formula {
public:
    // resolve: a name -> data field index, or -1 when no data field has that name.
    // Returns nullptr and a readable message in error for a formula that cannot be used.
    static std::shared_ptr<Formula>
    parse(const std::string& text, const std::function<int(const std::string&)>& resolve, std::string* error);
    std::optional<double> eval(const std::function<std::optional<double>(int)>& value) const;
    const std::vector<int>& references() const { return refs_; }

    struct Op {
        enum Kind { Num, Ref, Neg, Add, Sub, Mul, Div, Pow } kind;
        double num = 0;
        int ref = -1;
    };

private:
    std::vector<Op> code_; // postfix
    std::vector<int> refs_;
};

} // namespace bd::pivot::engine
