#include "platform/pivot/engine/Formula.h"

#include <charconv>
#include <cmath>

namespace bd::pivot::engine {
namespace {

struct Token {
    enum Kind { End, Num, Name, Op, LParen, RParen } kind = End;
    double num = 0;
    std::string text;
    char op = 0;
};

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n"), e = s.find_last_not_of(" \t\r\n");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

bool tokenize(const std::string& s, std::vector<Token>& out, std::string* error) {
    size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++i;
        } else if (c == '+' || c == '-' || c == '*' || c == '/' || c == '^') {
            {
                Token tk;
                tk.kind = Token::Op;
                tk.op = c;
                out.push_back(tk);
            }
            ++i;
        } else if (c == '(') {
            {
                Token tk;
                tk.kind = Token::LParen;
                out.push_back(tk);
            }
            ++i;
        } else if (c == ')') {
            {
                Token tk;
                tk.kind = Token::RParen;
                out.push_back(tk);
            }
            ++i;
        } else if (c == '[') {
            const size_t e = s.find(']', i + 1);
            if (e == std::string::npos) {
                if (error) *error = "Missing ']' in the formula.";
                return false;
            }
            {
                Token tk;
                tk.kind = Token::Name;
                tk.text = trim(s.substr(i + 1, e - i - 1));
                out.push_back(tk);
            }
            i = e + 1;
        } else if (c == ']') {
            if (error) *error = "Unexpected ']' in the formula.";
            return false;
        } else {
            size_t e = i;
            while (e < s.size() && std::string("+-*/^()[]").find(s[e]) == std::string::npos)
                ++e;
            const std::string word = trim(s.substr(i, e - i));
            double v = 0;
            auto [p, ec] = std::from_chars(word.data(), word.data() + word.size(), v);
            if (ec == std::errc() && p == word.data() + word.size()) {
                Token tk;
                tk.kind = Token::Num;
                tk.num = v;
                out.push_back(tk);
            } else {
                Token tk;
                tk.kind = Token::Name;
                tk.text = word;
                out.push_back(tk);
            }
            i = e;
        }
    }
    {
        Token tk;
        out.push_back(tk);
    }
    return true;
}

struct Parser {
    const std::vector<Token>& t;
    const std::function<int(const std::string&)>& resolve;
    std::vector<Formula::Op>& code;
    std::vector<int>& refs;
    std::string err;
    size_t p = 0;
    int depth = 0;

    bool fail(const std::string& m) {
        if (err.empty()) err = m;
        return false;
    }
    bool isOp(char c) const { return t[p].kind == Token::Op && t[p].op == c; }
    bool expr() {
        if (++depth > 200) return fail("The formula is nested too deeply.");
        if (!term()) return false;
        while (isOp('+') || isOp('-')) {
            const char o = t[p++].op;
            if (!term()) return false;
            code.push_back({o == '+' ? Formula::Op::Add : Formula::Op::Sub});
        }
        --depth;
        return true;
    }
    bool term() {
        if (!unary()) return false;
        while (isOp('*') || isOp('/')) {
            const char o = t[p++].op;
            if (!unary()) return false;
            code.push_back({o == '*' ? Formula::Op::Mul : Formula::Op::Div});
        }
        return true;
    }
    bool unary() {
        if (++depth > 200) return fail("The formula is nested too deeply.");
        bool ok;
        if (isOp('-')) {
            ++p;
            ok = unary();
            if (ok) code.push_back({Formula::Op::Neg});
        } else if (isOp('+')) {
            ++p;
            ok = unary();
        } else {
            ok = power();
        }
        --depth;
        return ok;
    }
    bool power() {
        if (!primary()) return false;
        if (isOp('^')) {
            ++p;
            if (!unary()) return false; // right-associative
            code.push_back({Formula::Op::Pow});
        }
        return true;
    }
    bool primary() {
        const Token& k = t[p];
        switch (k.kind) {
        case Token::Num:
            code.push_back({Formula::Op::Num, k.num});
            ++p;
            return true;
        case Token::Name: {
            if (k.text.empty()) return fail("Empty field name in the formula.");
            const int r = resolve(k.text);
            if (r < 0) return fail("Unknown field '" + k.text + "' in the formula.");
            code.push_back({Formula::Op::Ref, 0, r});
            refs.push_back(r);
            ++p;
            return true;
        }
        case Token::LParen:
            ++p;
            if (!expr()) return false;
            if (t[p].kind != Token::RParen) return fail("Missing ')' in the formula.");
            ++p;
            return true;
        case Token::RParen:
            return fail("Unexpected ')' in the formula.");
        case Token::Op:
            return fail(std::string("Unexpected '") + k.op + "' in the formula.");
        case Token::End:
            return fail("The formula ends too early.");
        }
        return fail("Bad formula.");
    }
};

} // namespace

std::shared_ptr<Formula> Formula::parse(const std::string& text,
                                        const std::function<int(const std::string&)>& resolve,
                                        std::string* error) {
    std::vector<Token> toks;
    if (!tokenize(text, toks, error)) return nullptr;
    auto f = std::make_shared<Formula>();
    Parser ps{toks, resolve, f->code_, f->refs_, {}, 0, 0};
    if (toks.size() == 1)
        ps.fail("The formula is empty.");
    else if (ps.expr() && toks[ps.p].kind != Token::End)
        ps.fail("Unexpected text after the end of the formula.");
    if (!ps.err.empty()) {
        if (error) *error = ps.err;
        return nullptr;
    }
    return f;
}

std::optional<double> Formula::eval(const std::function<std::optional<double>(int)>& value) const {
    double st[64];
    std::vector<double> big;
    double* s = st;
    if (code_.size() > 64) {
        big.resize(code_.size());
        s = big.data();
    }
    int n = 0;
    for (const Op& o : code_) {
        switch (o.kind) {
        case Op::Num:
            s[n++] = o.num;
            break;
        case Op::Ref: {
            const auto v = value(o.ref);
            if (!v) return std::nullopt;
            s[n++] = *v;
            break;
        }
        case Op::Neg:
            s[n - 1] = -s[n - 1];
            break;
        default: {
            const double b = s[--n], a = s[n - 1];
            double r = 0;
            switch (o.kind) {
            case Op::Add:
                r = a + b;
                break;
            case Op::Sub:
                r = a - b;
                break;
            case Op::Mul:
                r = a * b;
                break;
            case Op::Div:
                if (b == 0) return std::nullopt;
                r = a / b;
                break;
            case Op::Pow:
                r = std::pow(a, b);
                break;
            default:
                break;
            }
            s[n - 1] = r;
        }
        }
    }
    if (n != 1 || !std::isfinite(s[0])) return std::nullopt;
    return s[0];
}

} // namespace bd::pivot::engine
