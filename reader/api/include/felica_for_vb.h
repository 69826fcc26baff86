/*
 * FeliCa reader library interface.
 *
 * Seven plain C functions, each returning a one-byte truth value (0 is
 * failure, anything else success), and four records passed by address.
 * Records are zero-filled by the caller and laid out with natural alignment;
 * on a 32-bit build their offsets are fixed (checked below).
 *
 * The shared library is libfelica_for_vb.so (soname libfelica_for_vb.so.1);
 * any library exporting these seven functions can stand in for ours.
 */
#ifndef FELICA_FOR_VB_H
#define FELICA_FOR_VB_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define FELICA_API __attribute__((visibility("default")))
#else
#define FELICA_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct PollingRecord {
  uint8_t *system_code; /* two bytes, sent in this order */
  uint8_t time_slot;
} PollingRecord;

typedef struct CardInformationRecord {
  uint8_t *idm; /* 8 bytes, written by polling */
  uint8_t *pmm; /* 8 bytes, written by polling */
} CardInformationRecord;

typedef struct ReadBlockRequest {
  uint8_t *card_idm;          /* 8 bytes, read in place */
  uint8_t number_of_services;
  uint8_t *service_code_list; /* 2 bytes per service, low byte first */
  uint8_t number_of_blocks;
  uint8_t *block_list;        /* 2- or 3-byte block list elements */
} ReadBlockRequest;

typedef struct ReadBlockResponse {
  uint8_t *status_flag1;
  uint8_t *status_flag2;
  uint8_t *result_number_of_blocks;
  uint8_t *block_data; /* 16 bytes per block, block 0 first */
} ReadBlockResponse;

FELICA_API uint8_t initialize_library(void);
FELICA_API uint8_t open_reader_writer_auto(void);
FELICA_API uint8_t polling_and_get_card_information(PollingRecord *polling,
                                                    uint8_t *number_of_cards,
                                                    CardInformationRecord *card_information);
FELICA_API uint8_t read_block_without_encryption(ReadBlockRequest *request,
                                                 ReadBlockResponse *response);
FELICA_API uint8_t get_last_error_types(int32_t *felica_error_type, int32_t *rw_error_type);
FELICA_API uint8_t close_reader_writer(void);
FELICA_API uint8_t dispose_library(void);

/* Reader error types reported by get_last_error_types (our library). */
enum {
  FELICA_RW_OK = 0,
  FELICA_RW_NOT_INITIALIZED = 1,  /* call order: initialize_library first */
  FELICA_RW_NOT_OPEN = 2,         /* call order: open_reader_writer_auto first */
  FELICA_RW_NO_READER = 3,        /* no reader found, or the chosen one is absent */
  FELICA_RW_READER_ACCESS = 4,    /* reader present but cannot be opened (permission, busy) */
  FELICA_RW_NO_CARD = 5,          /* nothing answered polling */
  FELICA_RW_TIMEOUT = 6,          /* the card stopped answering, but is still present */
  FELICA_RW_TRANSMISSION = 7,     /* the reader failed to send or receive */
  FELICA_RW_CARD_LOST = 8,        /* the card left the field */
  FELICA_RW_CARD_SWAPPED = 9,     /* another card answered */
  FELICA_RW_BAD_RESPONSE = 10,    /* malformed answer from the card */
  FELICA_RW_CARD_ERROR = 11,      /* the card reported an error: see the FeliCa error type */
  FELICA_RW_INVALID_ARGUMENT = 12,/* a record or count the library cannot use */
  FELICA_RW_BAD_CONFIGURATION = 13/* FELICA_READER or a card image is unusable */
};
/* The FeliCa error type is the card's status flag pair: flag 1 << 8 | flag 2. */

#ifdef __cplusplus
} /* extern "C" */
#endif

/* The 32-bit interface: exact offsets and sizes. */
#if UINTPTR_MAX == 0xFFFFFFFFu
#ifdef __cplusplus
#define FELICA_STATIC_ASSERT static_assert
#else
#define FELICA_STATIC_ASSERT _Static_assert
#endif
FELICA_STATIC_ASSERT(offsetof(PollingRecord, system_code) == 0, "PollingRecord layout");
FELICA_STATIC_ASSERT(offsetof(PollingRecord, time_slot) == 4, "PollingRecord layout");
FELICA_STATIC_ASSERT(sizeof(PollingRecord) == 8, "PollingRecord size");
FELICA_STATIC_ASSERT(offsetof(CardInformationRecord, idm) == 0, "CardInformationRecord layout");
FELICA_STATIC_ASSERT(offsetof(CardInformationRecord, pmm) == 4, "CardInformationRecord layout");
FELICA_STATIC_ASSERT(sizeof(CardInformationRecord) == 8, "CardInformationRecord size");
FELICA_STATIC_ASSERT(offsetof(ReadBlockRequest, card_idm) == 0, "ReadBlockRequest layout");
FELICA_STATIC_ASSERT(offsetof(ReadBlockRequest, number_of_services) == 4, "ReadBlockRequest layout");
FELICA_STATIC_ASSERT(offsetof(ReadBlockRequest, service_code_list) == 8, "ReadBlockRequest layout");
FELICA_STATIC_ASSERT(offsetof(ReadBlockRequest, number_of_blocks) == 12, "ReadBlockRequest layout");
FELICA_STATIC_ASSERT(offsetof(ReadBlockRequest, block_list) == 16, "ReadBlockRequest layout");
FELICA_STATIC_ASSERT(sizeof(ReadBlockRequest) == 20, "ReadBlockRequest size");
FELICA_STATIC_ASSERT(offsetof(ReadBlockResponse, status_flag1) == 0, "ReadBlockResponse layout");
FELICA_STATIC_ASSERT(offsetof(ReadBlockResponse, status_flag2) == 4, "ReadBlockResponse layout");
FELICA_STATIC_ASSERT(offsetof(ReadBlockResponse, result_number_of_blocks) == 8, "ReadBlockResponse layout");
FELICA_STATIC_ASSERT(offsetof(ReadBlockResponse, block_data) == 12, "ReadBlockResponse layout");
FELICA_STATIC_ASSERT(sizeof(ReadBlockResponse) == 16, "ReadBlockResponse size");
#endif

#endif /* FELICA_FOR_VB_H */
