// The built-in functions of the list language, by family. The interpreter's
// constructor adds them all; each adds its family to INTERPRETER, replacing
// earlier bindings of the same names.
#pragma once

namespace corvane::lisp {

class Interpreter;

// quote setq if cond progn while repeat foreach and or defun lambda.
void addSpecialForms(Interpreter& interpreter);
// list car cdr c[ad]{2,4}r cons length nth append assoc reverse member last
// eq equal not null atom listp mapcar apply eval type.
void addListBuiltins(Interpreter& interpreter);
// + - * / = /= < > <= >= numberp minusp zerop 1+ 1- abs max min rem fix float
// and the constant PI.
void addNumberBuiltins(Interpreter& interpreter);
// strcat strlen substr strcase itoa atoi atof rtos.
void addStringBuiltins(Interpreter& interpreter);
// princ prin1 print terpri getvar setvar.
void addSystemBuiltins(Interpreter& interpreter);

} // namespace corvane::lisp
