#!/usr/bin/env python3
"""Writes a tiny llama-architecture GGUF model whose greedy answers follow a script.

Tests of the model-server backend need a real server running a real model, and deterministic
answers they can predict. No weights are packaged, so this makes one: seeded random transformer
weights, with the embeddings and the output head arranged so that each scripted token strongly
predicts the next. Under greedy decoding the answer then depends only on the prompt's last byte:
a prompt ending in a script's trigger is answered with that script. The tokenizer is byte-level
BPE with no useful merges, so every prompt byte is its own token; the chat template joins the
messages' text with nothing between them, so the last byte of the prompt is the last byte the
helper sent.

Usage: scripted_model.py GGUF_PY_DIR OUTPUT.gguf
"""

import sys

SEED = 20261210
EMBEDDING = 256
LAYERS = 2
HEADS = 4
FEED_FORWARD = 512
CONTEXT = 4096
END = "<|end|>"

# trigger byte -> (answer tokens, None for an answer that ends, or the index of the token the
# answer repeats from forever)
SCRIPTS = {
    ":": (["selection"], None),
    "!": (["0|", "Thanks", " for", " the", " note", ",", " see", " you", " on", " Monday", "."], None),
    "~": (["0", "|"] + [f" word{n}" for n in range(1, 41)], 2),
}


def byte_symbols():
    """GPT-2's byte-to-character table: printable bytes stand for themselves, the rest are moved."""
    printable = list(range(ord("!"), ord("~") + 1)) + list(range(0xA1, 0xAD)) + list(range(0xAE, 0x100))
    symbols = {}
    shifted = 0
    for byte in range(256):
        if byte in printable:
            symbols[byte] = chr(byte)
        else:
            symbols[byte] = chr(256 + shifted)
            shifted += 1
    return symbols


def encoded(text, symbols):
    return "".join(symbols[b] for b in text.encode("utf-8"))


def main():
    sys.path.insert(0, sys.argv[1])
    import numpy as np
    import gguf

    symbols = byte_symbols()
    tokens = [symbols[b] for b in range(256)] + [symbols[32] * 2, END]
    types = [gguf.TokenType.NORMAL] * 257 + [gguf.TokenType.CONTROL]
    index = {token: n for n, token in enumerate(tokens)}
    end_id = index[END]

    # Each scripted token and the token that must follow it.
    successor = {}
    for trigger, (answer, repeat) in SCRIPTS.items():
        chain = [encoded(trigger, symbols)] + [encoded(piece, symbols) for piece in answer]
        for piece in chain:
            if piece not in index:
                index[piece] = len(tokens)
                tokens.append(piece)
                types.append(gguf.TokenType.NORMAL)
        for here, after in zip(chain, chain[1:]):
            assert here not in successor, f"{here!r} would have two successors"
            successor[index[here]] = index[after]
        last = index[chain[-1]]
        successor[last] = end_id if repeat is None else index[chain[1 + repeat]]
    assert len(successor) < EMBEDDING

    rng = np.random.default_rng(SEED)
    vocab = len(tokens)

    def noise(*shape):
        return (rng.standard_normal(shape) * 0.02).astype(np.float32)

    embeddings = noise(vocab, EMBEDDING)
    output = noise(vocab, EMBEDDING)
    for slot, (here, after) in enumerate(sorted(successor.items())):
        embeddings[here] = 0
        embeddings[here, slot] = 100.0
        output[after, slot] = 10.0

    writer = gguf.GGUFWriter(sys.argv[2], "llama")
    writer.add_name("lumora-scripted-test-model")
    writer.add_context_length(CONTEXT)
    writer.add_embedding_length(EMBEDDING)
    writer.add_block_count(LAYERS)
    writer.add_feed_forward_length(FEED_FORWARD)
    writer.add_head_count(HEADS)
    writer.add_head_count_kv(HEADS)
    writer.add_rope_dimension_count(EMBEDDING // HEADS)
    writer.add_layer_norm_rms_eps(1e-5)
    writer.add_vocab_size(vocab)
    writer.add_file_type(gguf.LlamaFileType.ALL_F32)
    writer.add_tokenizer_model("gpt2")
    writer.add_tokenizer_pre("default")
    writer.add_token_list(tokens)
    writer.add_token_types(types)
    writer.add_token_merges([symbols[32] + " " + symbols[32]])
    writer.add_bos_token_id(end_id)
    writer.add_eos_token_id(end_id)
    writer.add_add_bos_token(False)
    writer.add_chat_template("{% for message in messages %}{{ message['content'] }}{% endfor %}")

    writer.add_tensor("token_embd.weight", embeddings)
    writer.add_tensor("output_norm.weight", np.ones(EMBEDDING, dtype=np.float32))
    writer.add_tensor("output.weight", output)
    for layer in range(LAYERS):
        name = f"blk.{layer}."
        writer.add_tensor(name + "attn_norm.weight", np.ones(EMBEDDING, dtype=np.float32))
        for part in ("attn_q", "attn_k", "attn_v", "attn_output"):
            writer.add_tensor(name + part + ".weight", noise(EMBEDDING, EMBEDDING))
        writer.add_tensor(name + "ffn_norm.weight", np.ones(EMBEDDING, dtype=np.float32))
        writer.add_tensor(name + "ffn_gate.weight", noise(FEED_FORWARD, EMBEDDING))
        writer.add_tensor(name + "ffn_up.weight", noise(FEED_FORWARD, EMBEDDING))
        writer.add_tensor(name + "ffn_down.weight", noise(EMBEDDING, FEED_FORWARD))

    writer.write_header_to_file()
    writer.write_kv_data_to_file()
    writer.write_tensors_to_file()
    writer.close()


if __name__ == "__main__":
    main()
