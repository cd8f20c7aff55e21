// The whole ASN.1 runtime: value model, coder environment and coders.
#ifndef ASN1_ASN1_H
#define ASN1_ASN1_H

#include "asn1/abstract_data.h"
#include "asn1/avn_decoder.h"
#include "asn1/avn_encoder.h"
#include "asn1/ber_decoder.h"
#include "asn1/ber_encoder.h"
#include "asn1/char_string.h"
#include "asn1/coder_env.h"
#include "asn1/constraint_checker.h"
#include "asn1/choice.h"
#include "asn1/descriptor.h"
#include "asn1/generalized_time.h"
#include "asn1/integer.h"
#include "asn1/object_identifier.h"
#include "asn1/octet_string.h"
#include "asn1/open_data.h"
#include "asn1/per_decoder.h"
#include "asn1/per_encoder.h"
#include "asn1/sequence.h"
#include "asn1/sequence_of.h"
#include "asn1/simple.h"
#include "asn1/visitor.h"

#endif
