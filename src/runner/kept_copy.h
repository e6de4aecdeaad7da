// The copy from the kept payment or return request into the commit or undo
// that settles it. A commit or undo reads little of its own POS member; what
// the centre must see of the settled operation (card, cheque, lines,
// transactions) comes from the request the runner kept, field by field to
// the field of the same name.
//
// Every function returns 0 (also when the source has no card member, and
// nothing is copied), 14 for a null source, 18 for a null target. The source
// is only read.
#ifndef NORVALEN_RUNNER_KEPT_COPY_H_
#define NORVALEN_RUNNER_KEPT_COPY_H_

#include "interface/commits.h"
#include "interface/payment.h"
#include "interface/rtrn.h"
#include "interface/undo.h"

// From a payment: the card number, card id, QR code and QR type only where
// the payment has them, so that a card the POS names in the commit or undo
// stands when the payment had none.
int copyCommitPaym(const interface::payment::Payment_Input* source, interface::commits::Commit_Input* target);
int copyUndoPaym(const interface::payment::Payment_Input* source, interface::undo::Undo_Input* target);

// From a return: the card fields always, even when empty, and also the sale
// the return refers to.
int copyCommitRtrn(const interface::rtrn::Rtrn_Input* source, interface::commits::Commit_Input* target);
int copyUndoRtrn(const interface::rtrn::Rtrn_Input* source, interface::undo::Undo_Input* target);

#endif  // NORVALEN_RUNNER_KEPT_COPY_H_
