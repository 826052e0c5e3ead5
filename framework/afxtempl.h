#pragma once

#include <windows.h>

#include <cstdlib>
#include <new>

// Positions in a collection, as the application framework has them.
struct CPositionTag {};
using POSITION = CPositionTag*;

// A doubly linked list whose nodes are allocated in blocks of nBlockSize and reused; the blocks
// are freed when the list becomes empty. Where the framework would throw on a failed allocation,
// AddTail returns NULL and leaves the list as it was.
template <class TYPE, class ARG_TYPE = const TYPE&>
class CList {
public:
    explicit CList(INT_PTR nBlockSize = 10) : m_nBlockSize(nBlockSize > 0 ? nBlockSize : 10) {}
    CList(const CList&) = delete;
    CList& operator=(const CList&) = delete;
    ~CList() { RemoveAll(); }

    INT_PTR GetCount() const { return m_nCount; }
    INT_PTR GetSize() const { return m_nCount; }
    BOOL IsEmpty() const { return m_pNodeHead == nullptr; }

    POSITION GetHeadPosition() const { return reinterpret_cast<POSITION>(m_pNodeHead); }
    TYPE& GetNext(POSITION& rPosition) {
        CNode* node = reinterpret_cast<CNode*>(rPosition);
        rPosition = reinterpret_cast<POSITION>(node->pNext);
        return node->data;
    }
    TYPE& GetAt(POSITION position) { return reinterpret_cast<CNode*>(position)->data; }
    const TYPE& GetAt(POSITION position) const {
        return reinterpret_cast<const CNode*>(position)->data;
    }

    // The position of the nIndex-th element (0-based), or NULL.
    POSITION FindIndex(INT_PTR nIndex) const {
        if (nIndex < 0 || nIndex >= m_nCount) {
            return nullptr;
        }
        CNode* node = m_pNodeHead;
        while (nIndex--) {
            node = node->pNext;
        }
        return reinterpret_cast<POSITION>(node);
    }

    POSITION AddTail(ARG_TYPE newElement) {
        CNode* node = NewNode();
        if (!node) {
            return nullptr;
        }
        ::new (static_cast<void*>(&node->data)) TYPE(newElement);
        node->pPrev = m_pNodeTail;
        node->pNext = nullptr;
        if (m_pNodeTail) {
            m_pNodeTail->pNext = node;
        } else {
            m_pNodeHead = node;
        }
        m_pNodeTail = node;
        ++m_nCount;
        return reinterpret_cast<POSITION>(node);
    }

    // Removes the head element and returns it; the list must not be empty.
    TYPE RemoveHead() {
        CNode* node = m_pNodeHead;
        TYPE value = node->data;
        m_pNodeHead = node->pNext;
        if (m_pNodeHead) {
            m_pNodeHead->pPrev = nullptr;
        } else {
            m_pNodeTail = nullptr;
        }
        FreeNode(node);
        return value;
    }

    void RemoveAll() {
        for (CNode* node = m_pNodeHead; node; node = node->pNext) {
            node->data.~TYPE();
        }
        m_pNodeHead = m_pNodeTail = m_pNodeFree = nullptr;
        m_nCount = 0;
        while (m_pBlocks) {
            Block* next = m_pBlocks->pNext;
            std::free(m_pBlocks);
            m_pBlocks = next;
        }
    }

private:
    struct CNode {
        CNode* pNext;
        CNode* pPrev;
        TYPE data;
    };
    struct Block {
        Block* pNext;
    };

    CNode* NewNode() {
        if (m_pNodeFree) {
            CNode* node = m_pNodeFree;
            m_pNodeFree = node->pNext;
            return node;
        }
        // One block holds its link and m_nBlockSize nodes.
        size_t nodesOffset = (sizeof(Block) + alignof(CNode) - 1) / alignof(CNode) * alignof(CNode);
        void* memory = std::malloc(nodesOffset + sizeof(CNode) * m_nBlockSize);
        if (!memory) {
            return nullptr;
        }
        Block* block = static_cast<Block*>(memory);
        block->pNext = m_pBlocks;
        m_pBlocks = block;
        // The block's first node is the new one; the others wait on the free list in order.
        CNode* nodes = reinterpret_cast<CNode*>(static_cast<BYTE*>(memory) + nodesOffset);
        for (INT_PTR i = m_nBlockSize - 1; i > 0; --i) {
            nodes[i].pNext = m_pNodeFree;
            m_pNodeFree = &nodes[i];
        }
        return &nodes[0];
    }

    void FreeNode(CNode* node) {
        node->data.~TYPE();
        node->pNext = m_pNodeFree;
        m_pNodeFree = node;
        if (--m_nCount == 0) {
            RemoveAll();
        }
    }

    CNode* m_pNodeHead = nullptr;
    CNode* m_pNodeTail = nullptr;
    CNode* m_pNodeFree = nullptr;
    Block* m_pBlocks = nullptr;
    INT_PTR m_nCount = 0;
    INT_PTR m_nBlockSize;
};
